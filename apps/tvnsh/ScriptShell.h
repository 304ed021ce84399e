#pragma once

#include <QHash>
#include <QMetaMethod>
#include <QString>
#include <QTextStream>
#include <memory>
#include <vector>

namespace tvn {
class Trelvan;
}

namespace tvnsh {

class EventSpy;
class UserInput;

// Drives one control by member name through its meta-object: properties are
// read and written as QMetaProperty, methods invoked by index with their
// arguments in place (by-reference arguments come back changed), events heard
// through an EventSpy. Nothing here lists the control's members by hand.
// A name "OBJECT.MEMBER" addresses one of the control's companion objects
// (motion: Trelvan::motion()) the same way; its events print as OBJECT.EVENT.
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
    void snapshot(const QStringList& words);
    void expect(const QStringList& words);

    // The object a statement's NAME addresses (the control, or a companion for
    // "OBJECT.MEMBER") and the member's name on it.
    struct Member {
        QObject* object;
        QString name;
    };
    Member resolve(const QString& name) const;
    void onEvent(const QString& prefix, const QMetaMethod& signal, void** args);
    void printError(int number, const QString& description, const QString& source);

    tvn::Trelvan& control_;
    QTextStream& out_;
    std::unique_ptr<UserInput> input_;
    std::unique_ptr<EventSpy> spy_;
    QHash<QString, QObject*> companions_;  // by the name a statement gives it
    std::vector<std::unique_ptr<EventSpy>> companionSpies_;
    QHash<QString, int> eventCounts_;
    bool failed_ = false;
};

}  // namespace tvnsh
