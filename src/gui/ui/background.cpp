#include "gui/ui/background.h"

#include <QMetaObject>
#include <system_error>

namespace ui {

Background::Background(QObject* parent) : QObject(parent) {}

Background::~Background() {
    // Events it posts to this object after this are discarded with it.
    if (worker_.joinable()) worker_.join();
}

void Background::start(Job job, std::function<void(int)> progress) {
    if (worker_.joinable()) worker_.join();
    busy_ = true;
    auto shown = [this, progress = std::move(progress)](int percent) {
        if (!progress) return;
        QMetaObject::invokeMethod(
            this, [progress, percent] { progress(percent); }, Qt::QueuedConnection);
    };
    auto body = [this, job = std::move(job), shown] {
        std::function<void()> done = job(shown);
        QMetaObject::invokeMethod(
            this, [this, done = std::move(done)] { end(done); }, Qt::QueuedConnection);
    };
    try {
        worker_ = std::thread(body);
    } catch (const std::system_error&) {
        body();  // no thread to be had: the work runs here, and still ends through the queue
    }
}

void Background::end(const std::function<void()>& done) {
    if (worker_.joinable()) worker_.join();
    busy_ = false;
    done();
    emit finished();
}

}  // namespace ui
