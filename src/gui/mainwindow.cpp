#include "mainwindow.h"

#include "aboutbox.h"
#include "centreonscreen.h"
#include "desktopintegration.h"
#include "dirlist.h"
#include "dragbybody.h"
#include "drivelist.h"
#include "ipaddressedit.h"
#include "iplistwindow.h"
#include "lookupdialogs.h"
#include "mainwindowrules.h"
#include "resultlistdelegate.h"
#include "resultlistmodel.h"
#include "scansession.h"
#include "settingsstore.h"
#include "waitcursor.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

QFont windowFont(bool bold)
{
    // Where the classic face is missing, faces of about its width come
    // first: the controls are sized for it.
    QFont font;
    font.setFamilies({u"MS Sans Serif"_s, u"Microsoft Sans Serif"_s, u"Liberation Sans"_s,
                      u"Arimo"_s, u"Arial"_s, u"Nimbus Sans"_s, u"DejaVu Sans Condensed"_s});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font.setBold(bold);
    return font;
}

QPushButton *makeButton(QWidget *parent, const QString &caption, const QString &toolTip)
{
    auto *button = new QPushButton(caption, parent);
    button->setToolTip(toolTip);
    button->setFont(windowFont(true));
    button->setAutoDefault(false);
    return button;
}

} // namespace

MainWindow::MainWindow(SettingsStore &settings, EchoProber &prober, HostResolver &resolver,
                       BrowserLauncher &browser, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_settings(settings)
    , m_prober(prober)
    , m_resolver(resolver)
    , m_browser(browser)
    , m_session(new ScanSession(prober, resolver, this))
    , m_clock([] { return QDateTime::currentDateTime(); })
{
    setObjectName(u"MainWindow"_s);
    setWindowTitle(u"Corvane"_s);
    // A fixed single border with a minimise button and no maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(windowFont(false));

    createControls();
    placeControls();
    setTabOrder();
    wireControls();

    wireSession();

    m_lookups = std::make_unique<LookupDialogs>(m_resolver, this);
    m_desktop = new DesktopIntegration(this, this);
    connect(m_desktop, &DesktopIntegration::restoreRequested, this, &MainWindow::restoreFromTray);
    connect(m_desktop, &DesktopIntegration::exitRequested, this, &QWidget::close);
    // Whatever ends the event loop, a session manager ending the session
    // included, closes the window first: hidden in the tray, it would
    // otherwise miss the close sequence.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &QWidget::close);

    // Keys reach the window before the control that has the focus.
    qApp->installEventFilter(this);
    m_startAddressEdit->setFocus();
}

MainWindow::~MainWindow() = default;

void MainWindow::createControls()
{
    m_startLabel = new QLabel(u"Start IP Number"_s, this);
    m_startLabel->setFont(windowFont(true));
    m_startAddressEdit = new IpAddressEdit(this);
    m_stopLabel = new QLabel(u"Stop IP Number"_s, this);
    m_stopLabel->setFont(windowFont(true));
    m_stopAddressEdit = new IpAddressEdit(this);

    m_pingModeButton = new QRadioButton(u"Ping"_s, this);
    m_pingModeButton->setChecked(true);
    m_domainModeButton = new QRadioButton(u"Get Domain"_s, this);
    m_namesCheck = new QCheckBox(u"Domain Name"_s, this);

    m_startButton = makeButton(this, u"&Start"_s, u" Start processing IP Numbers "_s);
    m_stopButton = makeButton(this, u"S&top"_s, u" Stop processing IP Numbers "_s);
    m_stopButton->setEnabled(false);
    m_resumeButton = makeButton(this, u"&Resume"_s, u" Resume processing IP Numbers "_s);
    m_resumeButton->setEnabled(false);

    m_logGroup = new QGroupBox(u"Log File"_s, this);
    m_logGroup->setFont(windowFont(true));
    m_logEnabledCheck = new QCheckBox(u"Enabled"_s, m_logGroup);
    m_logEnabledCheck->setFont(windowFont(false));
    m_logEnabledCheck->setCheckState(Qt::Checked);
    m_driveCombo = new DriveList(m_logGroup);
    m_driveCombo->setFont(windowFont(false));
    m_folderTree = new DirList(m_logGroup);
    m_folderTree->setFont(windowFont(false));
    m_logFileEdit = new QLineEdit(m_logGroup);
    m_logFileEdit->setFont(windowFont(false));
    // Lies over the frame, beside "Enabled", but belongs to the window.
    m_overwriteCheck = new QCheckBox(u"Overwrite"_s, this);
    m_overwriteCheck->setCheckState(Qt::Checked);

    m_resultList = new QListView(this);
    m_resultModel = new ResultListModel(m_resultList);
    m_resultList->setModel(m_resultModel);
    m_resultList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_resultList->setUniformItemSizes(true);
    m_resultList->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_resultList->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_resultList->setTextElideMode(Qt::ElideNone);
    m_listDelegate = new ResultListDelegate(m_resultList);
    m_resultList->setItemDelegate(m_listDelegate);

    m_statusLabel = new QLabel(this);

    m_copyButton = makeButton(this, u"&Copy"_s, u" Copy IP Numbers to Clipboard "_s);
    m_copyButton->setEnabled(false);
    m_printButton = makeButton(this, u"&Print"_s, u" Print IP Numbers "_s);
    m_printButton->setEnabled(false);
    m_listButton = makeButton(this, u"&List"_s, u" IP Number List "_s);
    m_findAddressButton = makeButton(this, u"&IP"_s, u" Get IP Number from domain name "_s);
    m_findNameButton = makeButton(this, u"&Domain"_s, u" Get domain name from IP Number "_s);
    m_aboutButton = makeButton(this, u"&About"_s, u" Info on Corvane "_s);
    m_exitButton = makeButton(this, u"&Exit"_s, u" Exit Corvane "_s);

    const std::pair<QWidget *, const char16_t *> names[] = {
        {m_startAddressEdit, u"startAddressEdit"},
        {m_stopAddressEdit, u"stopAddressEdit"},
        {m_startLabel, u"startLabel"},
        {m_stopLabel, u"stopLabel"},
        {m_statusLabel, u"statusLabel"},
        {m_pingModeButton, u"pingModeButton"},
        {m_domainModeButton, u"domainModeButton"},
        {m_logEnabledCheck, u"logEnabledCheck"},
        {m_overwriteCheck, u"overwriteCheck"},
        {m_namesCheck, u"namesCheck"},
        {m_startButton, u"startButton"},
        {m_stopButton, u"stopButton"},
        {m_resumeButton, u"resumeButton"},
        {m_exitButton, u"exitButton"},
        {m_copyButton, u"copyButton"},
        {m_printButton, u"printButton"},
        {m_aboutButton, u"aboutButton"},
        {m_listButton, u"listButton"},
        {m_findAddressButton, u"findAddressButton"},
        {m_findNameButton, u"findNameButton"},
        {m_logGroup, u"logGroup"},
        {m_driveCombo, u"driveCombo"},
        {m_folderTree, u"folderTree"},
        {m_logFileEdit, u"logFileEdit"},
        {m_resultList, u"resultList"}};
    for (const auto &[widget, name] : names)
        widget->setObjectName(QString::fromUtf16(name));
}

void MainWindow::placeControls()
{
    const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const qreal dpiX = screen ? screen->logicalDotsPerInchX() : 96.0;
    const qreal dpiY = screen ? screen->logicalDotsPerInchY() : 96.0;
    const auto place = [dpiX, dpiY](QWidget *widget, int left, int top, int width, int height) {
        widget->setGeometry(twipsToPixels(left, dpiX), twipsToPixels(top, dpiY),
                            twipsToPixels(width, dpiX), twipsToPixels(height, dpiY));
    };

    setFixedSize(twipsToPixels(6540, dpiX), twipsToPixels(5025, dpiY));
    place(m_startLabel, 120, 120, 1455, 255);
    place(m_startAddressEdit, 120, 360, 3255, 375);
    place(m_stopLabel, 120, 840, 1455, 255);
    place(m_stopAddressEdit, 120, 1080, 3255, 375);
    place(m_pingModeButton, 1680, 120, 735, 195);
    place(m_domainModeButton, 2520, 120, 1215, 195);
    place(m_namesCheck, 3960, 120, 1455, 195);
    place(m_startButton, 3960, 360, 735, 375);
    place(m_stopButton, 4800, 360, 735, 375);
    place(m_resumeButton, 5640, 360, 855, 375);
    place(m_logGroup, 3960, 840, 2535, 3375);
    place(m_logEnabledCheck, 120, 240, 975, 255);
    place(m_driveCombo, 120, 600, 2295, 315);
    place(m_folderTree, 120, 960, 2295, 1890);
    place(m_logFileEdit, 120, 3000, 2295, 285);
    place(m_overwriteCheck, 5400, 1080, 975, 255);
    place(m_resultList, 120, 1560, 3735, 2595);
    place(m_statusLabel, 120, 4245, 6255, 255);
    place(m_copyButton, 120, 4560, 855, 375);
    place(m_printButton, 1080, 4560, 855, 375);
    place(m_listButton, 2040, 4560, 855, 375);
    place(m_findAddressButton, 3000, 4560, 615, 375);
    place(m_findNameButton, 3720, 4560, 855, 375);
    place(m_aboutButton, 4680, 4560, 855, 375);
    place(m_exitButton, 5640, 4560, 855, 375);
    m_overwriteCheck->raise();
}

void MainWindow::setTabOrder()
{
    const QWidget *const order[] = {
        m_startAddressEdit, m_startButton,    m_stopButton, m_resumeButton,      m_stopAddressEdit,
        m_logEnabledCheck,  m_overwriteCheck, m_driveCombo, m_folderTree,        m_logFileEdit,
        m_copyButton,       m_printButton,    m_listButton, m_findAddressButton, m_findNameButton,
        m_aboutButton,      m_exitButton,     m_resultList, m_pingModeButton,    m_domainModeButton,
        m_namesCheck};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(const_cast<QWidget *>(order[i]), const_cast<QWidget *>(order[i + 1]));
}

void MainWindow::wireControls()
{
    connect(m_startButton, &QPushButton::clicked, this, &MainWindow::startScan);
    connect(m_stopButton, &QPushButton::clicked, m_session, &ScanSession::requestStop);
    // Resume is Start: the stop flag alone tells a resumed run from a fresh one.
    connect(m_resumeButton, &QPushButton::clicked, this, &MainWindow::startScan);
    connect(m_exitButton, &QPushButton::clicked, this, &QWidget::close);
    connect(m_copyButton, &QPushButton::clicked, this, &MainWindow::copyResults);
    connect(m_printButton, &QPushButton::clicked, this, &MainWindow::printResults);
    connect(m_aboutButton, &QPushButton::clicked, this, &MainWindow::showAbout);
    connect(m_listButton, &QPushButton::clicked, this, &MainWindow::showIpList);
    connect(m_findAddressButton, &QPushButton::clicked, this, [this] { m_lookups->findAddress(); });
    connect(m_findNameButton, &QPushButton::clicked, this, [this] { m_lookups->findName(); });
    connect(m_pingModeButton, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            m_namesCheck->setEnabled(true);
    });
    // Get Domain lists names, so it always looks them up.
    connect(m_domainModeButton, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked) {
            m_namesCheck->setChecked(true);
            m_namesCheck->setEnabled(false);
        }
    });
    connect(m_driveCombo, &DriveList::driveChanged, this, &MainWindow::changeDrive);
    connect(m_resultList, &QListView::doubleClicked, this, &MainWindow::openResultInBrowser);
    m_startButton->installEventFilter(this);

    auto *drag = new DragByBody(this);
    for (QWidget *area : std::initializer_list<QWidget *>{this, m_logGroup, m_startLabel,
                                                          m_stopLabel, m_statusLabel})
        drag->watch(area);

    // A greyed box (stored as 2) turns into an ordinary two-state box once the
    // user clicks it.
    for (QCheckBox *box : {m_logEnabledCheck, m_overwriteCheck}) {
        connect(box, &QCheckBox::clicked, box, [box] {
            if (box->checkState() != Qt::PartiallyChecked)
                box->setTristate(false);
        });
    }
}

bool MainWindow::isRunning() const
{
    return m_session->isRunning();
}

void MainWindow::setClock(std::function<QDateTime()> clock)
{
    m_clock = clock ? std::move(clock) : [] { return QDateTime::currentDateTime(); };
    m_session->setClock(m_clock);
}

void MainWindow::showAbout()
{
    showAboutBox(this, m_browser);
}

void MainWindow::showIpList()
{
    IpListWindow list(m_settings, m_prober, this);
    list.exec();
}

void MainWindow::changeDrive()
{
    if (!m_folderTree->setPath(m_driveCombo->drive()))
        m_driveCombo->setDrive(u"/"_s);
}

void MainWindow::applyWindowState()
{
    if (isMinimized()) {
        // Without a tray icon a hidden window could never come back.
        if (m_desktop->minimiseHidesWindow())
            QTimer::singleShot(0, this, [this] {
                if (isMinimized())
                    hide();
            });
        return;
    }
    centreOnScreen(this);
}

void MainWindow::restoreFromTray()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void MainWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        applyWindowState();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_firstShowDone) {
        m_firstShowDone = true;
        applyWindowState();
    }
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_startButton && event->type() == QEvent::FocusIn) {
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        // Coming back to the window or out of a menu is not the user moving
        // onto Start.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            m_session->startFocused();
    } else if (event->type() == QEvent::KeyPress &&
               static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->window() == this && isVisible()) {
            close();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    m_session->abort();
    shutDown();
    event->accept();
}
