#include "widgets/livetableview.h"
#include "widgets/rowheaderview.h"
#include "widgets/steadytabwidget.h"

#include <QtTest>
#include <QtWidgets>

namespace {

// The table rules of the window's style sheet: they make Qt paint the viewport as a styled,
// transparent background, which the live table has to undo.
const char kSheet[] = "QTableView { background: #ffffff; alternate-background-color: #f5f7fa; "
                      "gridline-color: #d0d0d0; }"
                      "QHeaderView::section { background: qlineargradient(x1: 0, y1: 0, x2: 0, "
                      "y2: 1, stop: 0 #81c784, stop: 1 #66bb6a); color: #ffffff; padding: 5px; "
                      "border: none; border-right: 1px solid #5aa75e; }";

void appendRow(QStandardItemModel &model)
{
    const int row = model.rowCount();
    QList<QStandardItem *> items;
    for (int c = 0; c < model.columnCount(); ++c)
        items.append(new QStandardItem(QStringLiteral("%1.%2").arg(row * 7 + c).arg(c % 10)));
    model.appendRow(items);
}

// Paint events of a widget and the area they asked for.
class PaintCounter : public QObject
{
public:
    int count = 0;
    qint64 area = 0;
    bool counting = true;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (counting && event->type() == QEvent::Paint) {
            ++count;
            for (const QRect &r : static_cast<QPaintEvent *>(event)->region())
                area += qint64(r.width()) * r.height();
        }
        return false;
    }
};

// Every posted layout and repaint run.
void settle()
{
    QTest::qWait(30);
}

// What is on screen, as the backing store holds it after incremental painting.
QImage onScreen(QWidget &window)
{
    return window.screen()
            ->grabWindow(window.winId())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
}

// The same window painted from scratch.
QImage repainted(QWidget &window)
{
    return window.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

struct Fixture
{
    QWidget window;
    QStandardItemModel model{0, 12};
    LiveTableView *view = new LiveTableView(&window);

    explicit Fixture(int rows)
    {
        window.setStyleSheet(QString::fromLatin1(kSheet));
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(view);
        view->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
        view->setAlternatingRowColors(true);
        for (int r = 0; r < rows; ++r)
            appendRow(model);
        view->setModel(&model);
        window.resize(700, 400);
        window.show();
    }
};

} // namespace

class TestLiveViews : public QObject
{
    Q_OBJECT

private slots:
    void appendedRowsPaintOnlyWhereTheyShow_data();
    void appendedRowsPaintOnlyWhereTheyShow();
    void rowHeaderHintMatchesQtsMeasure_data();
    void rowHeaderHintMatchesQtsMeasure();
    void removedRowsTakeQtsFullLayout();
    void tabWidgetKeepsStillUnlessSizesChange();
};

void TestLiveViews::appendedRowsPaintOnlyWhereTheyShow_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("follow");
    // Whole repaints that are due: the scroll bar showing up, the row labels widening.
    QTest::addColumn<int>("wholeRepaints");
    QTest::newRow("few rows, no scrolling") << 2 << false << 3;
    QTest::newRow("full view, following the newest row") << 300 << true << 0;
    QTest::newRow("full view, scrolled up") << 300 << false << 0;
    QTest::newRow("row labels gain a digit") << 995 << true << 1;
}

void TestLiveViews::appendedRowsPaintOnlyWhereTheyShow()
{
    QFETCH(int, rows);
    QFETCH(bool, follow);
    QFETCH(int, wholeRepaints);
    Fixture f(rows);
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    if (follow)
        f.view->scrollToBottom();
    QCoreApplication::processEvents();
    QVERIFY(f.view->viewport()->autoFillBackground());

    PaintCounter cells;
    f.view->viewport()->installEventFilter(&cells);
    const qint64 viewportArea = qint64(f.view->viewport()->width()) * f.view->viewport()->height();
    for (int i = 0; i < 10; ++i) {
        cells.counting = true;
        appendRow(f.model);
        if (follow)
            f.view->scrollToBottom();
        settle();
        cells.counting = false;
        // What incremental painting left on screen is what a full repaint gives.
        QCOMPARE(onScreen(f.window), repainted(f.window));
    }
    // Ten rows: at most a row's strip each, and the whole viewport only where it is due.
    const int rowHeight = f.view->rowHeight(0);
    QVERIFY2(cells.area <= 10 * 2 * qint64(rowHeight) * f.view->viewport()->width()
                             + wholeRepaints * viewportArea,
             qPrintable(QStringLiteral("painted %1 of %2 px per row")
                                .arg(cells.area / 10)
                                .arg(viewportArea)));
}

void TestLiveViews::rowHeaderHintMatchesQtsMeasure_data()
{
    QTest::addColumn<int>("rows");
    QTest::newRow("few") << 12;
    QTest::newRow("a hundred") << 100;
    QTest::newRow("below a thousand") << 999;
    QTest::newRow("a thousand") << 1000;
    QTest::newRow("ten thousand") << 10000;
}

void TestLiveViews::rowHeaderHintMatchesQtsMeasure()
{
    QFETCH(int, rows);
    QStandardItemModel model(0, 2);
    QWidget window;
    window.setStyleSheet(QString::fromLatin1(kSheet));
    auto *ours = new RowHeaderView(&window);
    auto *qts = new QHeaderView(Qt::Vertical, &window);
    ours->setModel(&model);
    qts->setModel(&model);
    window.show();
    // Grown row by row to just below, then across the count: the kept hint must follow.
    for (int r = 0; r < rows - 1; ++r)
        model.appendRow(new QStandardItem);
    QCOMPARE(ours->sizeHint(), qts->sizeHint());
    model.appendRow(new QStandardItem);
    QCOMPARE(ours->sizeHint(), qts->sizeHint());
}

void TestLiveViews::removedRowsTakeQtsFullLayout()
{
    Fixture f(300);
    QVERIFY(QTest::qWaitForWindowExposed(&f.window));
    f.view->scrollToBottom();
    QCoreApplication::processEvents();
    f.model.removeRows(100, 200);
    settle();
    QCOMPARE(onScreen(f.window), repainted(f.window));
    f.model.removeRows(0, f.model.rowCount());
    for (int i = 0; i < 3; ++i)
        appendRow(f.model);
    settle();
    QCOMPARE(f.view->verticalScrollBar()->maximum(), 0);
    QCOMPARE(onScreen(f.window), repainted(f.window));
}

void TestLiveViews::tabWidgetKeepsStillUnlessSizesChange()
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *tabs = new SteadyTabWidget(&window);
    layout->addWidget(tabs);
    auto *page = new QWidget;
    auto *row = new QHBoxLayout(page);
    auto *label = new QLabel(QStringLiteral("12.5"), page);
    auto *button = new QPushButton(QStringLiteral("Export"), page);
    row->addWidget(label);
    row->addWidget(button);
    row->addStretch();
    tabs->addTab(page, QStringLiteral("Data"));
    window.resize(400, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();

    PaintCounter buttonPaints;
    button->installEventFilter(&buttonPaints);
    label->setText(QStringLiteral("13.5"));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(buttonPaints.count, 0);

    // A text that needs more room is laid out as before: the button moves along.
    const int before = button->x();
    label->setText(QStringLiteral("a much longer reading than before"));
    QTRY_VERIFY(button->x() > before);
    QCOMPARE(label->width(), label->sizeHint().width());
    QCOMPARE(onScreen(window), repainted(window));
}

QTEST_MAIN(TestLiveViews)
#include "tst_liveviews.moc"
