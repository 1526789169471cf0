#pragma once
// Browser frame: one per open connection, inside a browser page of the main window.
// (Placeholder until the browser-frame work lands: the page life cycle of the main
// window needs only this much.)
#include <QFrame>
#include <QString>

class Tfb : public QFrame {
    Q_OBJECT
public:
    explicit Tfb(QWidget* parent = nullptr);
    ~Tfb() override;

    QString sitename;

    void StartConnect(bool quick);
    void LoadOptions();
    void Disconnect();
    bool connected() const { return connected_; }
    // Number of blocking operations currently running on this frame.
    int busyCount() const { return busy_; }

    // Layout kept in "forminfo.ini" section "FTP".
    int infoHeight() const;
    void setInfoHeight(int h);
    int queueHeight() const;
    void setQueueHeight(int h);
    int listViewStyle() const;      // 0..3
    void setListViewStyle(int code); // codes outside 0..3 change nothing

    void StopTimers();
    // Closes the connection without QUIT, ignoring errors.
    void CloseConnectionSilently();
    // Empties queue, listing, cache and the three lists (page close).
    void EmptyFrame();
    // Stops protocol logging and message pumping (main window closing).
    void StopPumping();

signals:
    void connectedChanged(bool connected);

private:
    bool connected_ = false;
    int busy_ = 0;
    int info_ = 93, queue_ = 116, view_ = 3;
};
