#pragma once

#include <QHash>
#include <QMetaMethod>
#include <QString>
#include <QTextStream>
#include <memory>

namespace tvn {
class Trelvan;
}

namespace tvnsh {

class EventSpy;

// Drives one control by member name through its meta-object: properties are
// read and written as QMetaProperty, methods invoked by index with their
// arguments in place (by-reference arguments come back changed), events heard
// through an EventSpy. Nothing here lists the control's members by hand.
class ScriptShell {
public:
    ScriptShell(tvn::Trelvan& control, QTextStream& out);
    ~ScriptShell();

    // Runs every statement of the input; returns the exit code (1 when an
    // expect failed or an await timed out).
    int run(QTextStream& in);
    void execute(const QString& line);
    // Every property, method and event with its types, in interface order.
    void printMembers();

private:
    void set(const QStringList& words);
    void get(const QStringList& words);
    void call(const QStringList& words);
    void wait(int ms);
    void await(const QStringList& words);
    void resize(const QStringList& words);
    void pointer(const QStringList& words);
    void key(const QStringList& words);
    void snapshot(const QStringList& words);
    void expect(const QStringList& words);

    // Invokes a method; fills result (invalid for void) and the by-reference arguments.
    QVariant invoke(const QMetaMethod& method, const QStringList& argWords, QList<QPair<QString, QVariant>>& byRef,
                    bool& hasResult);
    QMetaMethod findMethod(const QString& name) const;
    QString describeMethod(const QMetaMethod& m) const;
    void onEvent(const QMetaMethod& signal, void** args);
    void printError(int number, const QString& description, const QString& source);

    tvn::Trelvan& control_;
    QTextStream& out_;
    std::unique_ptr<EventSpy> spy_;
    QHash<QString, int> eventCounts_;
    Qt::MouseButtons pressed_;
    bool failed_ = false;
};

}  // namespace tvnsh
