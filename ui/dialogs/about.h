// The about box: the logo, the product name and the version of the running
// executable, a line on what the program does, three web links, a credit
// line and the maker's notice.
#pragma once

#include <QDialog>
#include <QLabel>
#include <functional>
#include <string>

class QFrame;
class QPushButton;

namespace dv {

// The maker's pages behind the about box's links.
inline constexpr const char* kAboutMakerUrl = "https://www.kelmaris.example";
inline constexpr const char* kAboutLabsUrl = "https://www.kelmaris.example/labs";
inline constexpr const char* kAboutHosterUrl = "https://www.kelmaris.example/partners/hosting";

// "Version " followed by the file version of `exeFile` ("0.0.0.0" when it
// has none).
std::string VersionCaption(const std::string& exeFile);

// A label that looks and acts like a web link: navy, bold, underlined, the
// hand cursor, and a click handler.
class TLinkLabel : public QLabel {
public:
    TLinkLabel(const QString& text, QWidget* parent);
    std::function<void()> OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

class TAboutBox : public QDialog {
public:
    explicit TAboutBox(QWidget* owner);

    // Handlers.
    void FormCreate();
    void Label1Click();
    void lbAuthor1Click();
    void lbHosterClick();
    void btnOkClick();

    QFrame* Panel = nullptr;
    QLabel* Image1 = nullptr;
    QLabel* lbProductName = nullptr;
    QLabel* lbVersion = nullptr;
    TLinkLabel* Label1 = nullptr;
    TLinkLabel* lbAuthor1 = nullptr;
    TLinkLabel* lbHoster = nullptr;
    QLabel* lbNotice = nullptr;
    QLabel* lbComments = nullptr;
    QLabel* lbCredits1 = nullptr;
    QLabel* lbCredits2 = nullptr;
    QPushButton* btnOk = nullptr;
};

// Shows the about box modally, centred on the screen.
void ShowAboutBox();

}  // namespace dv
