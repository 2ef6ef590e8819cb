#pragma once

#include "i18n/translations.h"
#include "widgets/widgetbackdrop.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QList>
#include <QPixmap>
#include <QStaticText>
#include <QWidget>

class QPainter;

// Bar chart of the cell voltages on a fixed 0 to 5000 mV scale, with a legend box showing the
// highest, average and lowest cell voltage. It only displays what it is given.
class VoltageChartWidget : public QWidget
{
    Q_OBJECT

public:
    explicit VoltageChartWidget(QWidget *parent = nullptr);

    void setVoltages(const QList<double> &voltages);
    void setMaxVoltage(double value);
    void setMinVoltage(double value);
    void setAverageVoltage(double value);
    void setTranslator(const TextTranslator &translator);
    const QList<double> &cellVoltages() const { return voltages; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QString translated(const QString &chinese) const;

    struct Layout
    {
        QRect plot;
        int cells = 0;
        int barWidth = 0;
        int gap = 0;
    };
    Layout layoutFor(int cells) const;
    static bool shown(double voltage);
    QRect legendBox() const;
    void drawStatic(QPainter &painter, const Layout &layout);
    void drawLegendBox(QPainter &painter);
    void drawLegendTexts(QPainter &painter);
    QPixmap barPixmap(const QColor &color, int width, int height);

    enum TextFont { Regular9, Small8, Bold9, TextFontCount };
    struct LaidOutText
    {
        QStaticText text;
        qreal width;
        qreal ascent;
        qreal height;
        int advance;
    };
    void prepareFonts();
    const LaidOutText &laidOut(TextFont which, const QString &text);
    void setPainterFont(QPainter &painter, TextFont which);
    void drawText(QPainter &painter, TextFont which, const QPoint &baseline, const QString &text);
    void drawText(QPainter &painter, TextFont which, const QRect &rect, int flags,
                  const QString &text);

    QList<double> voltages;
    double maximum = 0.0;
    double minimum = 0.0;
    double average = 0.0;
    TextTranslator translator;

    struct BarPixmap
    {
        QColor color;
        int width;
        int height;
        QPixmap pixmap;
    };
    QList<BarPixmap> bars;

    bool fontsReady = false;
    QFont fonts[TextFontCount];
    TextFont fontInPainter = TextFontCount;
    QHash<QString, LaidOutText> texts[TextFontCount];

    // The margins show the group box beneath; kept as a picture, so a repaint stays here.
    WidgetBackdrop backdrop{this};
    // The backdrop with what does not change with the readings drawn on it, and what it shows.
    struct StaticKey
    {
        QSize size;
        qint64 backdrop = 0;
        QString translatorCall;
        bool legend = false;
        int rows = 0;
        QList<bool> shownCells;
        bool operator==(const StaticKey &o) const
        {
            return size == o.size && backdrop == o.backdrop && translatorCall == o.translatorCall
                    && legend == o.legend && rows == o.rows && shownCells == o.shownCells;
        }
    };
    QPixmap staticLayer;
    StaticKey staticKey;
};
