#include "store/history_append.h"

#include "store/table.h"

namespace store {

int AppendHistory(Tdm& dm, int siteid, const std::string& day, const HistoryDetail& detail) {
    WriteBatch batch(dm.database());
    int key = 0;
    {
        TableScope m(dm.hmaster());
        if (m->locate("id;date;type", {siteid, day, detail.type})) {
            key = m->asInteger("key");
        } else {
            m->append();
            m->setInteger("id", siteid);
            m->setString("date", day);
            m->setString("type", detail.type);
            m->post();
            key = m->asInteger("key");
        }
    }
    {
        TableScope d(dm.hdital());
        d->append();
        d->setInteger("id", key);
        d->setString("type", detail.type);
        d->setString("ftpfile", detail.ftpfile);
        d->setString("lofile", detail.lofile);
        d->setString("date", detail.date);
        d->setString("date2", detail.date2);
        d->setString("ftppath", detail.ftppath);
        d->setString("lopath", detail.lopath);
        d->setString("usetime", detail.usetime);
        d->setString("speed", detail.speed);
        d->setBoolean("isfolder", detail.isfolder);
        d->post();
    }
    batch.commit();
    return key;
}

}  // namespace store
