#pragma once

#include <QSize>
#include <QTabWidget>

// Tab widget that stays still while its pages change inside. Qt's tab widget answers every
// layout request from a page (a label given new text, a table given a row) by laying out its tab
// bar and pages again and repainting itself and the whole shown page; here a request that leaves
// every size the layout depends on as it was is dropped.
class SteadyTabWidget : public QTabWidget
{
    Q_OBJECT

public:
    explicit SteadyTabWidget(QWidget *parent = nullptr);

protected:
    bool event(QEvent *event) override;

private:
    struct Sizes
    {
        QSize size;
        QSize tabBar;
        QSize pageHint;
        QSize pageMinimum;
        QSize leftCorner;
        QSize rightCorner;
        bool operator==(const Sizes &other) const;
    };
    Sizes currentSizes() const;

    Sizes m_laidOut;
    bool m_laidOutValid = false;
};
