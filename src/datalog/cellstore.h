#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <vector>

// Append-only store of table rows, compact enough to keep days of logging in memory.
//
// Each row is one packed byte record inside large arena blocks: a cell count, one type tag per
// cell, then the cell payloads. Reals that are short decimals (what scaled BMS readings are) take
// one to five bytes instead of eight and read back bit for bit; texts repeated in a column are
// pooled; other texts are kept inline as UTF-8. Rows are reached through a paged index, so an
// append never moves earlier rows and reading a cell does not depend on the number of rows.
//
// A cell reads back as the variant it was given: the same type (int, uint, qlonglong, qulonglong,
// bool, double, QString, or any other type kept aside) and value, or an invalid variant.
class CellStore
{
public:
    CellStore();
    ~CellStore();
    CellStore(const CellStore &) = delete;
    CellStore &operator=(const CellStore &) = delete;

    // A row is built with beginRow(), one add call per cell, then endRow().
    void beginRow();
    void addInvalid();
    void addVariant(const QVariant &value);
    void addString(const QString &text);
    void endRow();

    qsizetype rowCount() const { return m_rowCount; }
    // Bytes taken by the row records and their index: what the rows themselves cost.
    qint64 heldBytes() const { return m_heldBytes; }
    // Cells of the row as appended; 0 for a row out of range.
    int cellCount(qsizetype row) const;
    // The stored cell; an invalid variant for a row or column out of range.
    QVariant cell(qsizetype row, int column) const;
    bool isString(qsizetype row, int column) const;

    // The text cell(row, column).toString() gives, where it can be made without a variant: for
    // writers that turn whole tables into text.
    enum class TextKind {
        Empty, // an invalid cell, or out of range: ""
        Number, // the text is in buffer (at most kMaxNumberText bytes, ASCII), length bytes
        Utf8, // a text: utf8 views its UTF-8 form, valid until the next change of the store
        Other, // anything else: use cell().toString()
    };
    static constexpr int kMaxNumberText = 32;
    TextKind cellText(qsizetype row, int column, char *buffer, int &length,
                      QByteArrayView &utf8) const;
    // The same for the first cells of a row, up to capacity, in one walk; returns the row's cell
    // count (0 for a row out of range), which may exceed capacity.
    struct CellText
    {
        TextKind kind;
        int length;
        QByteArrayView utf8;
        char number[kMaxNumberText];
    };
    int rowTexts(qsizetype row, CellText *texts, int capacity) const;

    // Writes the texts of cells columns[from..count) of a row (columns ascending) as CSV fields
    // straight into out: each quoted, a comma before all but the field of columns[0]; a number's
    // text needs no doubled quotes. Stops at the first cell that is neither a number nor empty
    // and returns its index, with its kind and, for a text, its UTF-8 form; count when all were
    // written. out advances past what was written and needs room for kMaxNumberText + 3 bytes
    // per field.
    int csvFields(qsizetype row, const int *columns, int count, int from, char *&out,
                  TextKind &stopKind, QByteArrayView &stopText) const;

    // The numbers of some cells of a row in one walk, for readers that take the same few cells
    // of every row: columns ascending, out[i] the number of cell columns[i], or NaN where that
    // cell is not a number (invalid, out of range, a text that is no decimal number). Whole
    // numbers, reals and decimal texts count; booleans and other types do not. Returns the
    // row's cell count (0 for a row out of range).
    int rowNumbers(qsizetype row, const int *columns, int count, double *out) const;

    void clear();

private:
    struct Cursor
    {
        qsizetype row = -1;
        const uchar *tags = nullptr;
        const uchar *payload = nullptr;
        int count = 0;
        std::vector<quint32> offsets;
    };

    void addDouble(double value);
    // A decimal real: mantissa / 10^exponent moved by diff units in the last place.
    void addDecimal(qint32 mantissa, int exponent, int diff);
    void addInteger(qint64 value, uchar tag8, int bytes);
    void addOther(const QVariant &value);
    void putBytes(const void *data, size_t size);
    uchar *allocate(size_t size);
    const uchar *rowRecord(qsizetype row) const;
    const Cursor *locate(qsizetype row) const;
    QVariant decode(uchar tag, const uchar *payload) const;
    QByteArrayView pooledUtf8(quint32 index) const;
    bool recentRealText(double v, char *buffer, int &length) const;
    double numberOf(uchar tag, const uchar *payload) const;
    TextKind textOf(uchar tag, const uchar *payload, char *buffer, int &length,
                    QByteArrayView &utf8) const;

    // Row under construction.
    std::vector<uchar> m_tags;
    std::vector<uchar> m_payload;

    // Arena of row records.
    std::vector<std::unique_ptr<uchar[]>> m_blocks;
    uchar *m_free = nullptr;
    size_t m_freeSize = 0;

    // Paged index: row r lives at m_pages[r >> shift][r & mask].
    std::vector<std::unique_ptr<const uchar *[]>> m_pages;
    qsizetype m_rowCount = 0;
    qint64 m_heldBytes = 0;

    // Pooled texts, with the number each column position has added (capped, so a column of
    // unique texts such as times cannot grow the pool without bound).
    QList<QString> m_strings;
    mutable std::vector<QByteArray> m_stringsUtf8; // UTF-8 of the pooled texts, made when asked
    QHash<QString, quint32> m_stringIndex;
    std::vector<quint16> m_pooledPerColumn;

    // Values of any other type, and texts too long to keep inline.
    QList<QVariant> m_others;

    // Texts of the reals last made into text, by a hash of their bits.
    struct RealText
    {
        quint64 bits = 0;
        int length = 0; // 0: unused
        char text[kMaxNumberText];
    };
    static constexpr size_t kRealTexts = 256;
    mutable std::unique_ptr<RealText[]> m_realTexts;

    // Offsets of the last row read: a view or an export reads a row cell after cell.
    mutable Cursor m_cursor;
};
