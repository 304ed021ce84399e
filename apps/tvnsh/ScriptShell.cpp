#include "ScriptShell.h"

#include "EventSpy.h"
#include "MetaCall.h"
#include "ShellError.h"
#include "UserInput.h"
#include "ValueText.h"
#include "control/Trelvan.h"
#include "core/TvnError.h"
#include "export/VideoExport.h"
#include "analysis/Analysis.h"
#include "motion/MotionAnalysis.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMetaProperty>
#include <QPixmap>
#include <QTimer>
#include <cmath>

namespace tvnsh {

ScriptShell::ScriptShell(tvn::Trelvan& control, QTextStream& out)
    : control_(control), out_(out), input_(std::make_unique<UserInput>(control)) {
    spy_ = std::make_unique<EventSpy>(&control_, [this](const QMetaMethod& s, void** a) { onEvent({}, s, a); });
    // The companion objects a statement reaches as OBJECT.MEMBER, by name.
    companions_.insert(QStringLiteral("motion"), control_.motion());
    companions_.insert(QStringLiteral("export"), control_.videoExport());
    companions_.insert(QStringLiteral("analysis"), control_.analysis());
    for (auto it = companions_.cbegin(); it != companions_.cend(); ++it) {
        const QString prefix = it.key() + u'.';
        companionSpies_.push_back(std::make_unique<EventSpy>(
            it.value(), [this, prefix](const QMetaMethod& s, void** a) { onEvent(prefix, s, a); }));
    }
    // A failure during play, conversion or upload is printed where it happens.
    QObject::connect(&control_, &tvn::Trelvan::failed, spy_.get(), [this](const tvn::TvnError& e) {
        out_ << "failed ";
        printError(e.number(), e.description(), e.source());
        out_.flush();
    });
}

ScriptShell::~ScriptShell() {
    spy_.release()->deleteLater();
    for (auto& spy : companionSpies_) spy.release()->deleteLater();
}

ScriptShell::Member ScriptShell::resolve(const QString& name) const {
    const qsizetype dot = name.indexOf(u'.');
    if (dot < 0) return {&control_, name};
    QObject* companion = companions_.value(name.left(dot));
    if (!companion) throw ShellError{kNoSuchMember, QStringLiteral("No object %1").arg(name.left(dot))};
    return {companion, name.mid(dot + 1)};
}

int ScriptShell::run(QTextStream& in) {
    while (!in.atEnd()) {
        execute(in.readLine());
        out_.flush();
    }
    return failed_ ? 1 : 0;
}

void ScriptShell::printError(int number, const QString& description, const QString& source) {
    out_ << "error " << number << ": " << description << " [" << source << "]\n";
}

void ScriptShell::execute(const QString& rawLine) {
    const QString line = rawLine.trimmed();
    if (line.isEmpty() || line.startsWith(u'#')) return;
    if (line.startsWith(QLatin1String("echo"))) {
        if (line.size() == 4 || line[4].isSpace()) {
            out_ << line.mid(5) << "\n";
            return;
        }
    }
    QStringList words;
    QString splitError;
    try {
        if (!ValueText::split(line, words, splitError)) throw ShellError{kTypeMismatch, splitError};
        const QString verb = words.value(0);
        if (verb == QLatin1String("set")) set(words);
        else if (verb == QLatin1String("get")) get(words);
        else if (verb == QLatin1String("call")) call(words);
        else if (verb == QLatin1String("wait") && words.size() == 2) wait(toInt(words[1]));
        else if (verb == QLatin1String("await")) await(words);
        else if (verb == QLatin1String("resize")) resize(words);
        else if (verb == QLatin1String("pointer")) input_->pointer(words);
        else if (verb == QLatin1String("key")) input_->key(words);
        else if (verb == QLatin1String("snapshot")) snapshot(words);
        else if (verb == QLatin1String("expect")) expect(words);
        else throw ShellError{tvn::err::InvalidCall, QStringLiteral("Unknown statement: %1").arg(line)};
    } catch (const tvn::TvnError& e) {
        printError(e.number(), e.description(), e.source());
    } catch (const ShellError& e) {
        printError(e.number, e.description, QStringLiteral("tvnsh"));
    } catch (const std::exception& e) {
        printError(tvn::err::InvalidCall, QString::fromUtf8(e.what()), QStringLiteral("tvnsh"));
    }
}

void ScriptShell::set(const QStringList& words) {
    if (words.size() != 3) throw ShellError{kWrongArgumentCount, QStringLiteral("usage: set NAME VALUE")};
    const Member target = resolve(words[1]);
    const QMetaObject* meta = target.object->metaObject();
    const int index = meta->indexOfProperty(target.name.toUtf8().constData());
    if (index < 0) throw ShellError{kNoSuchMember, QStringLiteral("No property %1").arg(words[1])};
    const QMetaProperty prop = meta->property(index);
    QVariant value;
    if (!ValueText::convert(ValueText::parse(words[2]), prop.metaType(), value))
        throw ShellError{kTypeMismatch, QStringLiteral("%1 does not fit %2 (%3)")
                                            .arg(words[2], words[1], ValueText::typeName(prop.metaType()))};
    if (!prop.write(target.object, value))
        throw ShellError{tvn::err::InvalidCall, QStringLiteral("%1 cannot be written").arg(words[1])};
}

void ScriptShell::get(const QStringList& words) {
    if (words.size() != 2) throw ShellError{kWrongArgumentCount, QStringLiteral("usage: get NAME")};
    const Member target = resolve(words[1]);
    const QMetaObject* meta = target.object->metaObject();
    const int index = meta->indexOfProperty(target.name.toUtf8().constData());
    if (index < 0) throw ShellError{kNoSuchMember, QStringLiteral("No property %1").arg(words[1])};
    out_ << words[1] << " = " << ValueText::format(meta->property(index).read(target.object)) << "\n";
}

void ScriptShell::call(const QStringList& words) {
    if (words.size() < 2) throw ShellError{kWrongArgumentCount, QStringLiteral("usage: call NAME [ARG ...]")};
    const Member target = resolve(words[1]);
    const QMetaMethod method = MetaCall::find(*target.object, target.name);
    if (!method.isValid()) throw ShellError{kNoSuchMember, QStringLiteral("No method %1").arg(words[1])};
    QList<QPair<QString, QVariant>> byRef;
    bool hasResult = false;
    const QVariant result = MetaCall::invoke(target.object, method, words.mid(2), byRef, hasResult);
    if (hasResult) out_ << words[1] << " -> " << ValueText::format(result) << "\n";
    else out_ << words[1] << "\n";
    for (const auto& [name, value] : byRef) out_ << "  " << name << " = " << ValueText::format(value) << "\n";
}

void ScriptShell::wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(std::max(ms, 0), &loop, &QEventLoop::quit);
    loop.exec();
}

void ScriptShell::await(const QStringList& words) {
    if (words.size() < 2 || words.size() > 3)
        throw ShellError{kWrongArgumentCount, QStringLiteral("usage: await EVENT [MS]")};
    const QString event = words[1];
    const int timeout = words.size() == 3 ? toInt(words[2]) : 30000;
    const int before = eventCounts_.value(event);
    QElapsedTimer clock;
    clock.start();
    while (eventCounts_.value(event) == before && clock.elapsed() < timeout) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    }
    if (eventCounts_.value(event) == before) {
        out_ << "await " << event << " timed out\n";
        failed_ = true;
    }
}

void ScriptShell::resize(const QStringList& words) {
    if (words.size() != 3) throw ShellError{kWrongArgumentCount, QStringLiteral("usage: resize W H")};
    control_.resize(toInt(words[1]), toInt(words[2]));
    QCoreApplication::processEvents();
}

void ScriptShell::snapshot(const QStringList& words) {
    if (words.size() != 2) throw ShellError{kWrongArgumentCount, QStringLiteral("usage: snapshot FILE")};
    QCoreApplication::processEvents();
    const QString file = ValueText::parse(words[1]).toString();
    if (!control_.grab().save(file, "PNG"))
        throw ShellError{tvn::err::PathFileAccess, QStringLiteral("Cannot write snapshot '%1'").arg(file)};
}

void ScriptShell::expect(const QStringList& words) {
    if (words.size() != 4) throw ShellError{kWrongArgumentCount, QStringLiteral("usage: expect NAME OP VALUE")};
    const QString& name = words[1];
    const QString& op = words[2];
    QVariant actual;
    const Member target = resolve(name);
    const QMetaObject* meta = target.object->metaObject();
    const int index = meta->indexOfProperty(target.name.toUtf8().constData());
    if (index >= 0) {
        actual = meta->property(index).read(target.object);
    } else {
        const QMetaMethod method = MetaCall::find(*target.object, target.name);
        if (!method.isValid() || method.parameterCount() != 0)
            throw ShellError{kNoSuchMember, QStringLiteral("No property or argument-less method %1").arg(name)};
        QList<QPair<QString, QVariant>> byRef;
        bool hasResult = false;
        actual = MetaCall::invoke(target.object, method, {}, byRef, hasResult);
    }
    if (actual.metaType().id() == QMetaType::QVariant) actual = actual.value<QVariant>();
    const QVariant expected = ValueText::parse(words[3]);
    bool ok = false;
    const bool numeric = actual.canConvert<double>() && actual.typeId() != QMetaType::QString &&
                         (expected.typeId() == QMetaType::LongLong || expected.typeId() == QMetaType::Double ||
                          expected.typeId() == QMetaType::Bool);
    if (numeric) {
        const double a = actual.typeId() == QMetaType::Bool ? (actual.toBool() ? -1 : 0) : actual.toDouble();
        const double e = expected.typeId() == QMetaType::Bool ? (expected.toBool() ? -1 : 0) : expected.toDouble();
        if (op == QLatin1String("=")) ok = a == e;
        else if (op == QLatin1String("<")) ok = a < e;
        else if (op == QLatin1String(">")) ok = a > e;
        else if (op == QLatin1String("<=")) ok = a <= e;
        else if (op == QLatin1String(">=")) ok = a >= e;
        else if (op == QLatin1String("~")) ok = std::abs(a - e) <= 0.01;
        else throw ShellError{tvn::err::InvalidCall, QStringLiteral("Unknown comparison %1").arg(op)};
    } else {
        const QString a = actual.toString(), e = expected.toString();
        if (op == QLatin1String("=") || op == QLatin1String("~")) ok = a == e;
        else if (op == QLatin1String("<")) ok = a < e;
        else if (op == QLatin1String(">")) ok = a > e;
        else if (op == QLatin1String("<=")) ok = a <= e;
        else if (op == QLatin1String(">=")) ok = a >= e;
        else throw ShellError{tvn::err::InvalidCall, QStringLiteral("Unknown comparison %1").arg(op)};
    }
    if (!ok) {
        out_ << "expect failed: " << name << " " << op << " " << ValueText::format(expected) << " (is "
             << ValueText::format(actual) << ")\n";
        failed_ = true;
    }
}

void ScriptShell::onEvent(const QString& prefix, const QMetaMethod& signal, void** args) {
    QStringList parts;
    for (int i = 0; i < signal.parameterCount(); ++i)
        parts.append(ValueText::format(MetaCall::parameterType(signal, i), args[i + 1]));
    out_ << "event " << prefix << signal.name() << "(" << parts.join(QLatin1String(", ")) << ")\n";
    out_.flush();
    eventCounts_[prefix + QString::fromLatin1(signal.name())] += 1;
}

void ScriptShell::printMembers() {
    const QMetaObject* meta = control_.metaObject();
    const int info = meta->indexOfClassInfo("Members");
    const QStringList members = QString::fromLatin1(meta->classInfo(info).value()).split(u',');
    for (const QString& name : members) {
        const int p = meta->indexOfProperty(name.toUtf8().constData());
        if (p >= 0) {
            out_ << "property " << name << " As " << ValueText::typeName(meta->property(p).metaType()) << "\n";
            continue;
        }
        const QMetaMethod m = MetaCall::find(control_, name);
        if (m.isValid()) out_ << "method " << MetaCall::describe(m) << "\n";
    }
    for (const QMetaMethod& s : spy_->signalList()) out_ << "event " << MetaCall::describe(s) << "\n";
}

}  // namespace tvnsh
