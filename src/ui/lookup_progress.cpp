#include "ui/lookup_progress.h"

#include <QEventLoop>
#include <QProgressBar>
#include <QProgressDialog>
#include <atomic>
#include <exception>
#include <optional>
#include <thread>

#include "ui/error_box.h"

OeisHit RunLookupWithProgress(QWidget* parent,
                              const std::function<OeisHit(const FetchOptions&)>& lookup) {
    std::atomic<bool> cancel{false};
    FetchOptions limits;
    limits.cancelled = [&cancel] { return cancel.load(); };

    QProgressDialog dialog("Die OEIS wird abgefragt...", "Abbrechen", 0, 0, parent);
    dialog.setWindowTitle(kAppTitle);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumDuration(0);
    if (auto* bar = dialog.findChild<QProgressBar*>()) bar->setAccessibleName("Abfrage der OEIS");
    QEventLoop loop;
    QObject::connect(&dialog, &QProgressDialog::canceled, &loop, [&] {
        cancel = true;
        loop.quit();
    });

    std::optional<OeisHit> hit;
    std::exception_ptr failure;
    // The lookup's own thread touches nothing of the window; it hands its
    // result back and wakes the dialog's loop.
    std::thread worker([&] {
        try {
            hit = lookup(limits);
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    dialog.show();
    loop.exec();
    // After "Abbrechen" the transfer ends within a tenth of a second; no
    // input is taken meanwhile.
    worker.join();
    dialog.hide();
    if (cancel) throw EAborted("Abgebrochen");
    if (failure) std::rethrow_exception(failure);
    return *hit;
}
