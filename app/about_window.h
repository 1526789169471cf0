#pragma once
// The About window: picture, product name, version and the maker's addresses.
#include <QDialog>

class QLabel;

// The maker's addresses, shared by the top bar and the About window.
namespace links {
inline constexpr const char kHomepage[] = "https://ostrafen.example/";
inline constexpr const char kProductPage[] = "https://ostrafen.example/ostrafen/";
inline constexpr const char kFaqPage[] = "https://ostrafen.example/faq/";
inline constexpr const char kSupportMail[] = "support@ostrafen.example";
// The "Feedback" and support link: a mail with an empty subject.
inline constexpr const char kSupportMailto[] = "mailto:support@ostrafen.example?subject=";
}  // namespace links

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    // Shows the window modally, centred on `parent`; it is gone when this returns.
    static void Execute(QWidget* parent);

    // The address labels, by caption ("Homepage", "Product Page", "FAQ Page ",
    // "Bug report and support").
    QLabel* linkLabel(const QString& caption) const;

private:
    void addLink(class QGridLayout* grid, int row, const QString& caption, const QString& shown,
                 const QString& address);
};
