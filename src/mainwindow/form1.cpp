#include "form1.h"

#include "aboutbox.h"
#include "ccrpipaddress.h"
#include "centreonscreen.h"
#include "clipboardreport.h"
#include "desktopintegration.h"
#include "dirlist.h"
#include "dragbybody.h"
#include "drivelist.h"
#include "form2.h"
#include "launchbrowser.h"
#include "lookupdialogs.h"
#include "mainwindowrules.h"
#include "printreport.h"
#include "resultlistdelegate.h"
#include "scanrun.h"
#include "settingsstore.h"
#include "waitcursor.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTimer>

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

Form1::Form1(SettingsStore &settings, EchoProber &prober, HostResolver &resolver,
             BrowserLauncher &browser, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_settings(settings)
    , m_prober(prober)
    , m_resolver(resolver)
    , m_browser(browser)
    , m_clock([] { return QDateTime::currentDateTime(); })
    , m_parallel(kDefaultParallel)
    , m_resultListCapacity(kResultListCapacity)
{
    setObjectName(u"Form1"_s);
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

    m_scanRun = new ScanRun(m_prober, m_resolver, this);
    connect(m_scanRun, &ScanRun::currentAddressChanged, this, &Form1::onCurrentAddressChanged);
    connect(m_scanRun, &ScanRun::resultReady, this, &Form1::onResultReady);
    connect(m_scanRun, &ScanRun::finished, this, [this](bool stopped) {
        // A Stop pressed after the walk had handled its last address stopped
        // nothing; left set, it would make Resume handle that address again.
        if (!stopped)
            StopRequested = false;
        RunEnd();
    });

    m_lookups = std::make_unique<LookupDialogs>(m_resolver, this);
    m_desktop = new DesktopIntegration(this, this);
    connect(m_desktop, &DesktopIntegration::restoreRequested, this, &Form1::RestoreFromTray);
    connect(m_desktop, &DesktopIntegration::exitRequested, this, &QWidget::close);
    // Whatever ends the event loop, a session manager ending the session
    // included, closes the window first: hidden in the tray, it would
    // otherwise miss the close sequence.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &QWidget::close);

    // Keys reach the window before the control that has the focus.
    qApp->installEventFilter(this);
    IP->setFocus();
}

Form1::~Form1() = default;

void Form1::createControls()
{
    Label1 = new QLabel(u"Start IP Number"_s, this);
    Label1->setFont(windowFont(true));
    IP = new ccrpIPAddress(this);
    Label2 = new QLabel(u"Stop IP Number"_s, this);
    Label2->setFont(windowFont(true));
    IP2 = new ccrpIPAddress(this);

    Option1 = new QRadioButton(u"Ping"_s, this);
    Option1->setChecked(true);
    Option2 = new QRadioButton(u"Get Domain"_s, this);
    Check3 = new QCheckBox(u"Domain Name"_s, this);

    Command1 = makeButton(this, u"&Start"_s, u" Start processing IP Numbers "_s);
    Command2 = makeButton(this, u"S&top"_s, u" Stop processing IP Numbers "_s);
    Command2->setEnabled(false);
    Command3 = makeButton(this, u"&Resume"_s, u" Resume processing IP Numbers "_s);
    Command3->setEnabled(false);

    Frame1 = new QGroupBox(u"Log File"_s, this);
    Frame1->setFont(windowFont(true));
    Check1 = new QCheckBox(u"Enabled"_s, Frame1);
    Check1->setFont(windowFont(false));
    Check1->setCheckState(Qt::Checked);
    Drive1 = new DriveList(Frame1);
    Drive1->setFont(windowFont(false));
    Dir1 = new DirList(Frame1);
    Dir1->setFont(windowFont(false));
    Text1 = new QLineEdit(Frame1);
    Text1->setFont(windowFont(false));
    // Lies over the frame, beside "Enabled", but belongs to the window.
    Check2 = new QCheckBox(u"Overwrite"_s, this);
    Check2->setCheckState(Qt::Checked);

    List1 = new QListWidget(this);
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setUniformItemSizes(true);
    List1->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    List1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    List1->setTextElideMode(Qt::ElideNone);
    m_listDelegate = new ResultListDelegate(List1);
    // The list lays itself out anew for every line it gets, which for a long
    // list costs more than the scan: new lines join it a few times a second.
    m_showPendingLines = new QTimer(this);
    m_showPendingLines->setSingleShot(true);
    m_showPendingLines->setInterval(50);
    connect(m_showPendingLines, &QTimer::timeout, this, &Form1::showPendingLines);
    List1->setItemDelegate(m_listDelegate);

    Label3 = new QLabel(this);

    Command5 = makeButton(this, u"&Copy"_s, u" Copy IP Numbers to Clipboard "_s);
    Command5->setEnabled(false);
    Command6 = makeButton(this, u"&Print"_s, u" Print IP Numbers "_s);
    Command6->setEnabled(false);
    Command9 = makeButton(this, u"&List"_s, u" IP Number List "_s);
    Command11 = makeButton(this, u"&IP"_s, u" Get IP Number from domain name "_s);
    Command12 = makeButton(this, u"&Domain"_s, u" Get domain name from IP Number "_s);
    Command7 = makeButton(this, u"&About"_s, u" Info on Corvane "_s);
    Command4 = makeButton(this, u"&Exit"_s, u" Exit Corvane "_s);

    const std::pair<QWidget *, const char16_t *> names[] = {{IP, u"IP"},
                                                            {IP2, u"IP2"},
                                                            {Label1, u"Label1"},
                                                            {Label2, u"Label2"},
                                                            {Label3, u"Label3"},
                                                            {Option1, u"Option1"},
                                                            {Option2, u"Option2"},
                                                            {Check1, u"Check1"},
                                                            {Check2, u"Check2"},
                                                            {Check3, u"Check3"},
                                                            {Command1, u"Command1"},
                                                            {Command2, u"Command2"},
                                                            {Command3, u"Command3"},
                                                            {Command4, u"Command4"},
                                                            {Command5, u"Command5"},
                                                            {Command6, u"Command6"},
                                                            {Command7, u"Command7"},
                                                            {Command9, u"Command9"},
                                                            {Command11, u"Command11"},
                                                            {Command12, u"Command12"},
                                                            {Frame1, u"Frame1"},
                                                            {Drive1, u"Drive1"},
                                                            {Dir1, u"Dir1"},
                                                            {Text1, u"Text1"},
                                                            {List1, u"List1"}};
    for (const auto &[widget, name] : names)
        widget->setObjectName(QString::fromUtf16(name));
}

void Form1::placeControls()
{
    const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const qreal dpiX = screen ? screen->logicalDotsPerInchX() : 96.0;
    const qreal dpiY = screen ? screen->logicalDotsPerInchY() : 96.0;
    const auto place = [dpiX, dpiY](QWidget *widget, int left, int top, int width, int height) {
        widget->setGeometry(twipsToPixels(left, dpiX), twipsToPixels(top, dpiY),
                            twipsToPixels(width, dpiX), twipsToPixels(height, dpiY));
    };

    setFixedSize(twipsToPixels(6540, dpiX), twipsToPixels(5025, dpiY));
    place(Label1, 120, 120, 1455, 255);
    place(IP, 120, 360, 3255, 375);
    place(Label2, 120, 840, 1455, 255);
    place(IP2, 120, 1080, 3255, 375);
    place(Option1, 1680, 120, 735, 195);
    place(Option2, 2520, 120, 1215, 195);
    place(Check3, 3960, 120, 1455, 195);
    place(Command1, 3960, 360, 735, 375);
    place(Command2, 4800, 360, 735, 375);
    place(Command3, 5640, 360, 855, 375);
    place(Frame1, 3960, 840, 2535, 3375);
    place(Check1, 120, 240, 975, 255);
    place(Drive1, 120, 600, 2295, 315);
    place(Dir1, 120, 960, 2295, 1890);
    place(Text1, 120, 3000, 2295, 285);
    place(Check2, 5400, 1080, 975, 255);
    place(List1, 120, 1560, 3735, 2595);
    place(Label3, 120, 4245, 6255, 255);
    place(Command5, 120, 4560, 855, 375);
    place(Command6, 1080, 4560, 855, 375);
    place(Command9, 2040, 4560, 855, 375);
    place(Command11, 3000, 4560, 615, 375);
    place(Command12, 3720, 4560, 855, 375);
    place(Command7, 4680, 4560, 855, 375);
    place(Command4, 5640, 4560, 855, 375);
    Check2->raise();
}

void Form1::setTabOrder()
{
    const QWidget *const order[] = {IP,       Command1,  Command2,  Command3, IP2,      Check1,
                                    Check2,   Drive1,    Dir1,      Text1,    Command5, Command6,
                                    Command9, Command11, Command12, Command7, Command4, List1,
                                    Option1,  Option2,   Check3};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(const_cast<QWidget *>(order[i]), const_cast<QWidget *>(order[i + 1]));
}

void Form1::wireControls()
{
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &Form1::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(Command9, &QPushButton::clicked, this, &Form1::Command9_Click);
    connect(Command11, &QPushButton::clicked, this, &Form1::Command11_Click);
    connect(Command12, &QPushButton::clicked, this, &Form1::Command12_Click);
    connect(Option1, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            Option1_Click();
    });
    connect(Option2, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            Option2_Click();
    });
    connect(Drive1, &DriveList::driveChanged, this, &Form1::Drive1_Change);
    connect(List1, &QListWidget::itemDoubleClicked, this, &Form1::List1_DblClick);
    Command1->installEventFilter(this);

    auto *drag = new DragByBody(this);
    for (QWidget *area : std::initializer_list<QWidget *>{this, Frame1, Label1, Label2, Label3})
        drag->watch(area);

    // A greyed box (stored as 2) turns into an ordinary two-state box once the
    // user clicks it.
    for (QCheckBox *box : {Check1, Check2}) {
        connect(box, &QCheckBox::clicked, box, [box] {
            if (box->checkState() != Qt::PartiallyChecked)
                box->setTristate(false);
        });
    }
}

void Form1::setResultListCapacity(int lines)
{
    m_resultListCapacity = qMax(1, lines);
}

void Form1::setClock(std::function<QDateTime()> clock)
{
    m_clock = clock ? std::move(clock) : [] { return QDateTime::currentDateTime(); };
}

void Form1::Command4_Click()
{
    close();
}

QStringList Form1::resultLines() const
{
    QStringList lines;
    lines.reserve(List1->count());
    for (int row = 0; row < List1->count(); ++row)
        lines.append(List1->item(row)->text());
    return lines;
}

void Form1::Command5_Click()
{
    Label3->setText(copyReportToClipboard(resultLines(), m_clock()));
}

void Form1::Command6_Click()
{
    Label3->setText(printReport(resultLines(), m_clock()));
}

void Form1::Command7_Click()
{
    showAboutBox(this, m_browser);
}

void Form1::Command9_Click()
{
    Form2 list(m_settings, m_prober, this);
    list.exec();
}

void Form1::Command11_Click()
{
    m_lookups->Command11_Click();
}

void Form1::Command12_Click()
{
    m_lookups->Command12_Click();
}

void Form1::Option1_Click()
{
    Check3->setEnabled(true);
}

void Form1::Option2_Click()
{
    Check3->setChecked(true);
    Check3->setEnabled(false);
}

void Form1::Drive1_Change()
{
    if (!Dir1->setPath(Drive1->drive()))
        Drive1->setDrive(u"/"_s);
}

void Form1::List1_DblClick()
{
    const QListWidgetItem *item = List1->currentItem();
    handleResultDoubleClick(List1->toolTip(), item ? item->text() : QString(), this, m_browser);
}

void Form1::Form_Resize()
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
    CentreOnScreen(this);
}

void Form1::RestoreFromTray()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void Form1::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void Form1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_firstShowDone) {
        m_firstShowDone = true;
        Form_Resize();
    }
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Command1 && event->type() == QEvent::FocusIn) {
        const auto reason = static_cast<QFocusEvent *>(event)->reason();
        // Coming back to the window or out of a menu is not the user moving
        // onto Start.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            Command1_GotFocus();
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

void Form1::Command1_GotFocus()
{
    if (!m_changingRunControls)
        StopRequested = false;
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (m_running) {
        // Ended as Stop ends it; what was in flight is dropped.
        Command2_Click();
        RunEnd(false);
    }
    Form_Unload();
    event->accept();
}
