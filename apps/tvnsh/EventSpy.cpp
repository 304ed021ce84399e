#include "EventSpy.h"

#include <QMetaObject>

namespace tvnsh {

EventSpy::EventSpy(QObject* source, Callback callback) : QObject(source), callback_(std::move(callback)) {
    const QMetaObject* meta = source->metaObject();
    const int slotBase = QObject::staticMetaObject.methodCount();
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod m = meta->method(i);
        if (m.methodType() != QMetaMethod::Signal) continue;
        // Connecting by index with no receiver meta-object makes Qt deliver through
        // the virtual qt_metacall below, where the index says which signal fired.
        QMetaObject::connect(source, i, this, slotBase + static_cast<int>(signals_.size()), Qt::DirectConnection);
        signals_.append(m);
    }
}

int EventSpy::qt_metacall(QMetaObject::Call call, int id, void** args) {
    id = QObject::qt_metacall(call, id, args);
    if (id < 0 || call != QMetaObject::InvokeMetaMethod) return id;
    if (id < signals_.size()) callback_(signals_[id], args);
    return -1;
}

}  // namespace tvnsh
