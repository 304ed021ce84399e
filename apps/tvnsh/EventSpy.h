#pragma once

#include <QList>
#include <QMetaMethod>
#include <QObject>
#include <functional>

namespace tvnsh {

// Listens to every signal of an object's own class through its meta-object and
// hands each emission (the signal and its argument pointers) to a callback.
// Connected directly, so the callback runs while the signal is being raised.
class EventSpy : public QObject {
public:
    using Callback = std::function<void(const QMetaMethod& signal, void** args)>;

    EventSpy(QObject* source, Callback callback);

    // Plain QObject dispatch first; our own "slots" are numbered after QObject's methods.
    int qt_metacall(QMetaObject::Call call, int id, void** args) override;

    const QList<QMetaMethod>& signalList() const { return signals_; }

private:
    QList<QMetaMethod> signals_;
    Callback callback_;
};

}  // namespace tvnsh
