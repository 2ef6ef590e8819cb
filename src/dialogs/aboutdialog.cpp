#include "dialogs/aboutdialog.h"

#include "dialogs/dialogslog.h"

#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTextBrowser>
#include <QVBoxLayout>

#ifndef CELLSCRIBE_VERSION
#define CELLSCRIBE_VERSION "2.29"
#endif

namespace {

// Build constants of this very build, as the compiler records them.
constexpr char BuildDate[] = __DATE__;
constexpr char BuildTime[] = __TIME__;

} // namespace

AboutDialog::AboutDialog(QWidget *parent) : QDialog(parent)
{
    setModal(false);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setMinimumSize(500, 350);
    resize(550, 400);

    tabWidget = new QTabWidget(this);
    tabWidget->setObjectName(QStringLiteral("aboutTabs"));
    versionView = new QTextBrowser(tabWidget);
    versionView->setObjectName(QStringLiteral("versionText"));
    buildView = new QTextBrowser(tabWidget);
    buildView->setObjectName(QStringLiteral("buildText"));
    tabWidget->addTab(versionView, QString());
    tabWidget->addTab(buildView, QString());

    aboutQtButton = new QPushButton(this);
    aboutQtButton->setObjectName(QStringLiteral("aboutQtButton"));
    closeButton = new QPushButton(this);
    closeButton->setObjectName(QStringLiteral("closeButton"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(aboutQtButton);
    buttons->addStretch();
    buttons->addWidget(closeButton);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(tabWidget);
    layout->addLayout(buttons);

    connect(aboutQtButton, &QPushButton::clicked, this,
            [this] { QMessageBox::aboutQt(this, QString()); });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);

    refreshTexts();
}

void AboutDialog::setTranslator(const TextTranslator &newTranslator)
{
    translator = newTranslator;
}

QString AboutDialog::translated(const QString &chinese) const
{
    return translator ? translator(chinese) : chinese;
}

void AboutDialog::refreshTexts()
{
    setWindowTitle(translated(QStringLiteral("关于 Cellscribe")));
    tabWidget->setTabText(0, translated(QStringLiteral("版本信息")));
    tabWidget->setTabText(1, translated(QStringLiteral("编译信息")));
    versionView->setPlainText(versionText());
    buildView->setPlainText(buildText());
    aboutQtButton->setText(translated(QStringLiteral("关于Qt")));
    closeButton->setText(translated(QStringLiteral("关闭")));
    qCDebug(lcDialogs) << "About dialog texts refreshed";
}

QString AboutDialog::applicationVersion()
{
    return QStringLiteral(CELLSCRIBE_VERSION);
}

QString AboutDialog::compilerDescription()
{
    // Clang also defines __GNUC__, so it is asked first.
#if defined(__clang__)
    const char *name = "Clang";
    const int major = __clang_major__;
    const int minor = __clang_minor__;
    const int patch = __clang_patchlevel__;
#elif defined(__GNUC__)
    const char *name = "GCC";
    const int major = __GNUC__;
    const int minor = __GNUC_MINOR__;
    const int patch = __GNUC_PATCHLEVEL__;
#elif defined(_MSC_VER)
    const char *name = "MSVC";
    const int major = _MSC_VER / 100;
    const int minor = _MSC_VER % 100;
    const int patch = _MSC_FULL_VER % 100000;
#else
    const char *name = "Unknown compiler";
    const int major = 0;
    const int minor = 0;
    const int patch = 0;
#endif
    return QStringLiteral("%1 %2.%3.%4").arg(QLatin1String(name)).arg(major).arg(minor).arg(patch);
}

QString AboutDialog::versionText() const
{
    // The copyright year is the year of the build ("Mmm dd yyyy").
    const QString year = QLatin1String(BuildDate).right(4);
    return translated(QStringLiteral("应用版本：")) + QLatin1Char(' ') + applicationVersion()
            + QStringLiteral("\n\n") + QStringLiteral("BV-BMS Cellscribe\n")
            + QStringLiteral("Brevon电池管理系统数据采集器\n\n")
            + QStringLiteral("Copyright © %1 TRBMS.\n").arg(year)
            + translated(QStringLiteral("以 MIT 许可证发布。")) + QLatin1Char('\n');
}

QString AboutDialog::buildText() const
{
    return translated(QStringLiteral("编译时间：")) + QLatin1Char(' ') + QLatin1String(BuildDate)
            + QLatin1Char(' ') + QLatin1String(BuildTime) + QStringLiteral("\n\n")
            + translated(QStringLiteral("编译器：")) + QLatin1Char(' ') + compilerDescription()
            + QStringLiteral("\n\n") + translated(QStringLiteral("Qt版本：")) + QLatin1Char(' ')
            + QLatin1String(QT_VERSION_STR) + QLatin1Char('\n')
            + QStringLiteral("Runtime Qt: %1\n").arg(QLatin1String(qVersion()));
}
