#pragma once
// The "FTP Site" page of the main window: toolbar, site list and description.
// (Placeholder until the site-list work lands.)
#include <QWidget>

class TForm1;

class SiteListPane : public QWidget {
    Q_OBJECT
public:
    explicit SiteListPane(TForm1* main, QWidget* parent = nullptr);

    // Fills the list from the ftpsite table.
    void FillList();
    // View-style code 0..3 of the site list ("FTPSITEVIEW"); others change nothing.
    int viewStyleCode() const;
    void setViewStyleCode(int code);
    // Height of the description area ("WELCOMEH").
    int descriptionHeight() const;
    void setDescriptionHeight(int h);

private:
    TForm1* main_;
    int view_ = 0;
    int descHeight_ = 211;
};
