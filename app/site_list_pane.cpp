#include "app/site_list_pane.h"

SiteListPane::SiteListPane(TForm1* main, QWidget* parent) : QWidget(parent), main_(main) {
    setObjectName(QStringLiteral("SiteListPane"));
}
void SiteListPane::FillList() {}
int SiteListPane::viewStyleCode() const { return view_; }
void SiteListPane::setViewStyleCode(int code) {
    if (code >= 0 && code <= 3) view_ = code;
}
int SiteListPane::descriptionHeight() const { return descHeight_; }
void SiteListPane::setDescriptionHeight(int h) { descHeight_ = h; }
