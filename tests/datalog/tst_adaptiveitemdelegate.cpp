#include "datalog/adaptiveitemdelegate.h"

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>

namespace {

QFont pointFont(qreal size)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(size);
    return f;
}

QFont pixelFont(int size)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(size);
    return f;
}

int advance(const QFont &font, const QString &text)
{
    return QFontMetrics(font).horizontalAdvance(text);
}

// Paints one cell of the view with the delegate into an image.
QImage paintCell(const QStyledItemDelegate &delegate, QTableView &view, const QModelIndex &index,
                 const QFont &font, int width, Qt::TextElideMode elide = Qt::ElideNone)
{
    QImage image(width + 8, 30, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.initFrom(&view);
    option.rect = QRect(4, 2, width, 26);
    option.font = font;
    option.fontMetrics = QFontMetrics(font);
    option.textElideMode = elide;
    option.widget = &view;
    delegate.paint(&painter, option, index);
    painter.end();
    return image;
}

// A table of one cell holding text.
struct OneCellTable
{
    explicit OneCellTable(const QString &text)
    {
        model.setItem(0, 0, new QStandardItem(text));
        view.setModel(&model);
    }
    QModelIndex index() const { return model.index(0, 0); }

    QStandardItemModel model{1, 1};
    QTableView view;
};

const QString kLongText = QStringLiteral("Ein sehr langer Zustandstext, der nicht passt");

} // namespace

class TestAdaptiveItemDelegate : public QObject
{
    Q_OBJECT

private slots:
    void fittedFont_data();
    void fittedFont();
    void shrinksOnlyAsFarAsNeeded();
    void paintsWithFittedFontElided();
    void emptyCellPaintedByBase();
    void keptFontsFollowTextWidthAndBaseFont();
    void drawsPlainCellsAsTheStyle_data();
    void drawsPlainCellsAsTheStyle();
};

void TestAdaptiveItemDelegate::fittedFont_data()
{
    QTest::addColumn<QFont>("font");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<qreal>("pointSize");
    QTest::addColumn<int>("pixelSize");

    const QString longText(200, u'W');
    QTest::newRow("fits") << pointFont(10) << "3.3" << 200 << 10.0 << -1;
    QTest::newRow("too long in points") << pointFont(10) << longText << 80 << 4.0 << -1;
    QTest::newRow("too long in pixels") << pixelFont(16) << longText << 80 << -1.0 << 6;
    QTest::newRow("4.2 pt cannot step") << pointFont(4.2) << longText << 80 << 4.2 << -1;
    QTest::newRow("width 4 keeps font") << pointFont(10) << longText << 4 << 10.0 << -1;
    QTest::newRow("width 0 keeps font") << pixelFont(16) << longText << 0 << -1.0 << 16;
    QTest::newRow("width 5 shrinks") << pointFont(10) << longText << 5 << 4.0 << -1;
}

void TestAdaptiveItemDelegate::fittedFont()
{
    QFETCH(QFont, font);
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(qreal, pointSize);
    QFETCH(int, pixelSize);

    const QFont fitted = AdaptiveItemDelegate::fittedFont(font, text, width);
    QCOMPARE(fitted.pointSizeF(), pointSize);
    QCOMPARE(fitted.pixelSize(), pixelSize);
    QCOMPARE(fitted.family(), font.family());
}

void TestAdaptiveItemDelegate::shrinksOnlyAsFarAsNeeded()
{
    const QString text = QStringLiteral("充放电同时高温保护 Discharge Overcurrent");
    const QFont base = pointFont(12);
    for (int width = 20; width <= 400; width += 7) {
        const QFont fitted = AdaptiveItemDelegate::fittedFont(base, text, width);
        const qreal size = fitted.pointSizeF();
        QVERIFY(size >= 4.0 && size <= 12.0);
        if (size > 4.0) {
            QVERIFY2(advance(fitted, text) <= width - 4, qPrintable(QString::number(width)));
        }
        if (size < 12.0) {
            // Half a point larger would not have fitted.
            QVERIFY2(advance(pointFont(size + 0.5), text) > width - 4,
                     qPrintable(QString::number(width)));
        }
    }
    // Pixel fonts step by whole pixels.
    const QFont px = AdaptiveItemDelegate::fittedFont(pixelFont(20), text, 150);
    QVERIFY(px.pixelSize() >= 6 && px.pixelSize() < 20);
    QVERIFY(px.pixelSize() == 6 || advance(px, text) <= 146);
    QVERIFY(advance(pixelFont(px.pixelSize() + 1), text) > 146);
}

void TestAdaptiveItemDelegate::paintsWithFittedFontElided()
{
    const QString text = kLongText;
    OneCellTable table(text);
    QTableView &view = table.view;
    const QModelIndex index = table.index();

    AdaptiveItemDelegate adaptive;
    QStyledItemDelegate plain;
    for (int width : {3, 60, 150, 400}) {
        const QFont font = pointFont(11);
        const QImage drawn = paintCell(adaptive, view, index, font, width);
        const QImage expected =
                paintCell(plain, view, index, AdaptiveItemDelegate::fittedFont(font, text, width),
                          width, Qt::ElideRight);
        QVERIFY2(drawn == expected, qPrintable(QString::number(width)));
    }
    // The shrunk, elided text really differs from the plain, unelided drawing.
    QVERIFY(paintCell(adaptive, view, index, pointFont(11), 60)
            != paintCell(plain, view, index, pointFont(11), 60));
}

void TestAdaptiveItemDelegate::emptyCellPaintedByBase()
{
    OneCellTable table{QString()};
    QTableView &view = table.view;
    const QModelIndex index = table.index();
    AdaptiveItemDelegate adaptive;
    QStyledItemDelegate plain;
    QCOMPARE(paintCell(adaptive, view, index, pointFont(11), 50),
             paintCell(plain, view, index, pointFont(11), 50));
}

// Repaints reuse the font found for a text and width; another width or base font is fitted anew
// and drawn exactly as an uncached fit would draw it.
void TestAdaptiveItemDelegate::keptFontsFollowTextWidthAndBaseFont()
{
    const QString text = kLongText;
    OneCellTable table(text);
    QTableView &view = table.view;
    const QModelIndex index = table.index();
    AdaptiveItemDelegate adaptive;
    QStyledItemDelegate plain;
    auto expected = [&](const QFont &font, int width) {
        return paintCell(plain, view, index, AdaptiveItemDelegate::fittedFont(font, text, width),
                         width, Qt::ElideRight);
    };

    for (int i = 0; i < 3; ++i)
        QCOMPARE(paintCell(adaptive, view, index, pointFont(11), 150),
                 expected(pointFont(11), 150));
    QCOMPARE(adaptive.keptFonts(), 1);
    QCOMPARE(paintCell(adaptive, view, index, pointFont(11), 90), expected(pointFont(11), 90));
    QCOMPARE(adaptive.keptFonts(), 2);
    // A new base font (a language or zoom change) must not draw with fonts fitted for the old one.
    QCOMPARE(paintCell(adaptive, view, index, pointFont(16), 150), expected(pointFont(16), 150));
    QCOMPARE(adaptive.keptFonts(), 1);
    QCOMPARE(paintCell(adaptive, view, index, pixelFont(20), 150), expected(pixelFont(20), 150));
    QCOMPARE(adaptive.keptFonts(), 1);
}

void TestAdaptiveItemDelegate::drawsPlainCellsAsTheStyle_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("styleSheet");
    QTest::addColumn<bool>("rightToLeft");
    QTest::addColumn<bool>("wrap");
    const int normal = int(QStyle::State_Enabled | QStyle::State_Active);
    const int centre = int(Qt::AlignCenter);
    QTest::newRow("centred reading")
            << QStringLiteral("3.2871") << centre << normal << false << false << false;
    QTest::newRow("left, top") << QStringLiteral("-12.345") << int(Qt::AlignLeft | Qt::AlignTop)
                               << normal << false << false << false;
    QTest::newRow("right, bottom")
            << QStringLiteral("25.3") << int(Qt::AlignRight | Qt::AlignBottom) << normal << false
            << false << false;
    QTest::newRow("selected") << QStringLiteral("3.2871") << centre
                              << int(normal | QStyle::State_Selected) << false << false << false;
    QTest::newRow("focused") << QStringLiteral("3.2871") << centre
                             << int(normal | QStyle::State_HasFocus) << false << false << false;
    QTest::newRow("inactive window") << QStringLiteral("3.2871") << centre
                                     << int(QStyle::State_Enabled) << false << false << false;
    QTest::newRow("disabled") << QStringLiteral("3.2871") << centre << 0 << false << false << false;
    QTest::newRow("Chinese status")
            << QStringLiteral("充电中") << centre << normal << false << false << false;
    QTest::newRow("right to left")
            << QStringLiteral("12:34:56.78") << int(Qt::AlignLeft | Qt::AlignVCenter) << normal
            << false << true << false;
    QTest::newRow("shrunk and elided") << kLongText << centre << normal << false << false << false;
    // Tables wrap words by default: one line that fits is the same line.
    QTest::newRow("wrapping on, fits")
            << QStringLiteral("3.2871") << centre << normal << false << false << true;
    QTest::newRow("wrapping on, wraps") << kLongText << centre << normal << false << false << true;
    QTest::newRow("window style sheet")
            << QStringLiteral("2024-12-31") << centre << int(normal | QStyle::State_Selected)
            << true << false << false;
}

// A cell of one line that fits is drawn without the style's item drawing; it must look the same.
void TestAdaptiveItemDelegate::drawsPlainCellsAsTheStyle()
{
    QFETCH(QString, text);
    QFETCH(int, alignment);
    QFETCH(int, state);
    QFETCH(bool, styleSheet);
    QFETCH(bool, rightToLeft);
    QFETCH(bool, wrap);
    OneCellTable table(text);
    QTableView &view = table.view;
    if (styleSheet)
        view.setStyleSheet(QStringLiteral("QTableView { background: #ffffff; "
                                          "selection-background-color: #66bb6a; "
                                          "selection-color: #ffffff; }"));
    view.setLayoutDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    view.ensurePolished();
    table.model.item(0, 0)->setTextAlignment(Qt::Alignment(alignment));
    const QModelIndex index = table.index();
    auto draw = [&](const QStyledItemDelegate &delegate, const QFont &font,
                    Qt::TextElideMode elide) {
        QImage image(128, 34, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        QStyleOptionViewItem option;
        option.initFrom(&view);
        option.state = QStyle::State(state);
        option.rect = QRect(4, 2, 120, 30);
        option.font = font;
        option.fontMetrics = QFontMetrics(font);
        option.textElideMode = elide;
        option.widget = &view;
        if (wrap)
            option.features |= QStyleOptionViewItem::WrapText;
        delegate.paint(&painter, option, index);
        painter.end();
        return image;
    };
    AdaptiveItemDelegate adaptive;
    QStyledItemDelegate plain;
    const QFont font = pointFont(11);
    QCOMPARE(draw(adaptive, font, Qt::ElideNone),
             draw(plain, AdaptiveItemDelegate::fittedFont(font, text, 120), Qt::ElideRight));
}

QTEST_MAIN(TestAdaptiveItemDelegate)
#include "tst_adaptiveitemdelegate.moc"
