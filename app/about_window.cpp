#include "app/about_window.h"

#include "platform/ui/dialog_service.h"
#include "platform/ui/pictures.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The product name, drawn twice two pixels apart for a heavier look.
class DoubleStruckLabel : public QLabel {
public:
    DoubleStruckLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
        QFont f = font();
        f.setBold(true);
        f.setPointSizeF(f.pointSizeF() * 1.8);
        setFont(f);
        setMinimumHeight(fontMetrics().height() + 2);
        setMinimumWidth(fontMetrics().horizontalAdvance(text) + 4);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setFont(font());
        p.setPen(palette().color(QPalette::WindowText));
        const QRect r = contentsRect().adjusted(0, 0, -2, 0);
        p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, text());
        p.drawText(r.translated(2, 0), Qt::AlignLeft | Qt::AlignVCenter, text());
    }
};

}  // namespace

TAboutBox::TAboutBox(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("TAboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setModal(true);

    auto* outer = new QVBoxLayout(this);
    auto* row = new QHBoxLayout();
    outer->addLayout(row);

    auto* panel = new QFrame(this);
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* panelLayout = new QVBoxLayout(panel);
    auto* picture = new QLabel(panel);
    picture->setObjectName(QStringLiteral("AboutPicture"));
    picture->setPixmap(ui::picture(ui::Picture::AppIcon, 64));
    picture->setAccessibleName(QStringLiteral("Ostrafen logo"));
    panelLayout->addWidget(picture);
    row->addWidget(panel, 0, Qt::AlignTop);

    auto* right = new QVBoxLayout();
    row->addLayout(right, 1);
    right->addWidget(new QLabel(QStringLiteral("Ostrafen Software"), this));
    auto* product = new DoubleStruckLabel(QStringLiteral("Ostrafen"), this);
    product->setObjectName(QStringLiteral("ProductName"));
    right->addWidget(product);
    right->addWidget(new QLabel(QStringLiteral("FREE Edition"), this));
    auto* version = new QLabel(
        QStringLiteral("Version %1").arg(QCoreApplication::applicationVersion().isEmpty()
                                             ? QStringLiteral("0.1.0")
                                             : QCoreApplication::applicationVersion()),
        this);
    version->setObjectName(QStringLiteral("Version"));
    right->addWidget(version);

    auto* grid = new QGridLayout();
    right->addLayout(grid);
    addLink(grid, 0, QStringLiteral("Homepage"), QString::fromLatin1(links::kHomepage),
            QString::fromLatin1(links::kHomepage));
    addLink(grid, 1, QStringLiteral("Product Page"), QString::fromLatin1(links::kProductPage),
            QString::fromLatin1(links::kProductPage));
    addLink(grid, 2, QStringLiteral("FAQ Page "), QString::fromLatin1(links::kFaqPage),
            QString::fromLatin1(links::kFaqPage));
    addLink(grid, 3, QStringLiteral("Bug report and support"),
            QString::fromLatin1(links::kSupportMail), QString::fromLatin1(links::kSupportMailto));

    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setObjectName(QStringLiteral("OK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(ok);
    outer->addLayout(buttons);
    setFixedSize(sizeHint());
}

void TAboutBox::addLink(QGridLayout* grid, int row, const QString& caption, const QString& shown,
                        const QString& address) {
    auto* label = new QLabel(caption + QLatin1Char(':'), this);
    auto* link = new QLabel(this);
    link->setObjectName(caption.trimmed());
    link->setTextFormat(Qt::RichText);
    link->setText(QStringLiteral("<a href=\"%1\">%2</a>").arg(address.toHtmlEscaped(), shown.toHtmlEscaped()));
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    link->setCursor(Qt::PointingHandCursor);
    link->setOpenExternalLinks(false);
    link->setToolTip(address);
    link->setAccessibleName(caption.trimmed());
    label->setBuddy(link);
    connect(link, &QLabel::linkActivated, this,
            [](const QString& href) { ui::DialogService::instance().shellOpen(href); });
    grid->addWidget(label, row, 0);
    grid->addWidget(link, row, 1);
}

QLabel* TAboutBox::linkLabel(const QString& caption) const {
    return findChild<QLabel*>(caption.trimmed());
}

void TAboutBox::Execute(QWidget* parent) {
    TAboutBox box(parent);
    if (parent) {
        const QRect pr = parent->frameGeometry();
        box.move(pr.center() - QPoint(box.width() / 2, box.height() / 2));
    }
    ui::runModal(box);
}
