#pragma once
// Long work off the window's thread: the work runs on a thread of its own, its progress and its
// end come back on the window's thread, in order, so the window stays responsive and only the
// window thread touches widgets. The work must bring its own resources (its own RecordStore):
// nothing it uses may be shared with the window.
#include <QObject>
#include <functional>
#include <memory>
#include <thread>

namespace ui {

class Background : public QObject {
    Q_OBJECT
  public:
    using Progress = std::function<void(int percent)>;

    explicit Background(QObject* parent = nullptr);
    // Waits for work still running; what it would have reported is dropped.
    ~Background() override;

    bool busy() const { return busy_; }

    // Runs `work` on the worker thread; `progress` (may be empty) and then `done` run on this
    // object's thread with what it reported and answered. Not while busy().
    template <class Result>
    void run(std::function<Result(const Progress&)> work, std::function<void(int)> progress,
             std::function<void(Result&)> done) {
        start(
            [work = std::move(work), done = std::move(done)](const Progress& report) {
                auto result = std::make_shared<Result>(work(report));
                return std::function<void()>([done, result] { done(*result); });
            },
            std::move(progress));
    }

  signals:
    // After `done` has run.
    void finished();

  private:
    using Job = std::function<std::function<void()>(const Progress&)>;
    void start(Job job, std::function<void(int)> progress);
    void end(const std::function<void()>& done);

    std::thread worker_;
    bool busy_ = false;
};

}  // namespace ui
