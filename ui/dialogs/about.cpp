#include "ui/dialogs/about.h"

#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "model/utils.h"
#include "platform/system/Shell.h"
#include "platform/text/SysUtils.h"
#include "platform/gui/Graphics.h"
#include "ui/window/Application.h"
#include "ui/window/main.h"

static void InitAboutResources() { Q_INIT_RESOURCE(dialogs); }

namespace dv {

std::string VersionCaption(const std::string& exeFile) { return "Version " + GetFileVersionStr(exeFile); }

// ---------------------------------------------------------------------------
// TLinkLabel

TLinkLabel::TLinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QFont f = font();
    f.setBold(true);
    f.setUnderline(true);
    setFont(f);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, ColorFromWin(clNavy));
    setPalette(p);
    setCursor(Qt::PointingHandCursor);
    setToolTip(text);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnClick)
        RunGuarded(OnClick);
}

// ---------------------------------------------------------------------------
// TAboutBox

TAboutBox::TAboutBox(QWidget* owner) : QDialog(owner) {
    InitAboutResources();
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);

    Panel = new QFrame(this);
    Panel->setObjectName(QStringLiteral("Panel"));
    Panel->setFrameStyle(QFrame::Box | QFrame::Sunken);   // a lowered outer and a raised inner bevel
    auto* inside = new QVBoxLayout(Panel);
    inside->setContentsMargins(10, 10, 10, 10);
    inside->setSpacing(4);

    Image1 = new QLabel(Panel);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(137, 97);
    Image1->setPixmap(QPixmap(QStringLiteral(":/dialogs/logo.jpg")));

    lbProductName = new QLabel(QStringLiteral("Dravolt"), Panel);
    lbProductName->setObjectName(QStringLiteral("lbProductName"));
    QFont nameFont(QStringLiteral("Arial"));
    nameFont.setStyleHint(QFont::SansSerif);
    nameFont.setPixelSize(19);
    nameFont.setBold(true);
    lbProductName->setFont(nameFont);
    QPalette namePalette = lbProductName->palette();
    namePalette.setColor(QPalette::WindowText, palette().color(QPalette::Highlight));
    lbProductName->setPalette(namePalette);

    lbVersion = new QLabel(Panel);
    lbVersion->setObjectName(QStringLiteral("lbVersion"));
    lbVersion->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* top = new QHBoxLayout;
    top->setSpacing(12);
    top->addWidget(Image1, 0, Qt::AlignTop);
    auto* title = new QVBoxLayout;
    title->addSpacing(16);
    title->addWidget(lbProductName);
    title->addWidget(lbVersion);
    title->addStretch(1);
    top->addLayout(title, 1);
    inside->addLayout(top);
    inside->addSpacing(6);

    Label1 = new TLinkLabel(QString::fromLatin1(kAboutMakerUrl), Panel);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->OnClick = [this] { Label1Click(); };
    lbAuthor1 = new TLinkLabel(QString::fromLatin1(kAboutLabsUrl), Panel);
    lbAuthor1->setObjectName(QStringLiteral("lbAuthor1"));
    lbAuthor1->OnClick = [this] { lbAuthor1Click(); };
    lbHoster = new TLinkLabel(QString::fromLatin1(kAboutHosterUrl), Panel);
    lbHoster->setObjectName(QStringLiteral("lbHoster"));
    lbHoster->OnClick = [this] { lbHosterClick(); };
    for (QLabel* link : {Label1, lbAuthor1, lbHoster}) inside->addWidget(link, 0, Qt::AlignLeft);
    inside->addSpacing(6);

    lbNotice = new QLabel(QStringLiteral("Copyright \u00A9 Kelmaris. All rights reserved."), Panel);
    lbNotice->setObjectName(QStringLiteral("lbNotice"));
    lbNotice->setAlignment(Qt::AlignHCenter);
    inside->addWidget(lbNotice);
    inside->addSpacing(6);

    lbComments = new QLabel(QStringLiteral("Tool to analyze InterBase/Firebird database's statistics, tune indices "
                                           "and find performance bottlenecks."),
                            Panel);
    lbComments->setObjectName(QStringLiteral("lbComments"));
    lbComments->setWordWrap(true);
    inside->addWidget(lbComments);
    inside->addStretch(1);
    inside->addSpacing(8);

    lbCredits1 = new QLabel(QStringLiteral("With thanks to the author of the tree grid library"), Panel);
    lbCredits1->setObjectName(QStringLiteral("lbCredits1"));
    lbCredits2 = new QLabel(QStringLiteral("for VirtualTreeView"), Panel);
    lbCredits2->setObjectName(QStringLiteral("lbCredits2"));
    inside->addWidget(lbCredits1);
    inside->addWidget(lbCredits2);
    layout->addWidget(Panel, 1);

    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnOk->setDefault(true);
    connect(btnOk, &QPushButton::clicked, this, [this] { btnOkClick(); });
    layout->addWidget(btnOk, 0, Qt::AlignHCenter);

    FormCreate();
    // Fixed border: the design size, or what the desktop's fonts need.
    setFixedSize(sizeHint().expandedTo(QSize(317, 320)));
}

void TAboutBox::FormCreate() { lbVersion->setText(QString::fromStdString(VersionCaption(ExePath()))); }

// A page that cannot be opened is not worth a message: the box stays as it is.
void TAboutBox::Label1Click() { OpenAddress(kAboutMakerUrl); }
void TAboutBox::lbAuthor1Click() { OpenAddress(kAboutLabsUrl); }
void TAboutBox::lbHosterClick() { OpenAddress(kAboutHosterUrl); }

void TAboutBox::btnOkClick() { accept(); }

void ShowAboutBox() {
    TAboutBox box(MainForm);
    QScreen* screen = MainForm ? MainForm->screen() : QGuiApplication::primaryScreen();
    if (screen) {
        const QRect r = screen->availableGeometry();
        box.move(r.x() + (r.width() - box.width()) / 2, r.y() + (r.height() - box.height()) / 2);
    }
    box.exec();
}

void RunAboutBox() { ShowAboutBox(); }

}  // namespace dv
