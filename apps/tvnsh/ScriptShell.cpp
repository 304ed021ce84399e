#include "ScriptShell.h"

#include "EventSpy.h"
#include "ValueText.h"
#include "control/Trelvan.h"
#include "core/TvnError.h"
#include "export/VideoExport.h"
#include "analysis/Analysis.h"
#include "motion/MotionAnalysis.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMetaProperty>
#include <QMouseEvent>
#include <QPixmap>
#include <QTimer>
#include <cmath>

namespace tvnsh {

namespace {
constexpr int kWrongArgumentCount = 450;
constexpr int kTypeMismatch = 13;
constexpr int kNoSuchMember = 438;

struct ShellError {
    int number;
    QString description;
};

bool isByRef(const QMetaMethod& m, int i) { return m.parameterTypeName(i).endsWith('&'); }

// The value type of a parameter; the meta-object leaves it unresolved for
// by-reference parameters, so it is looked up by the name without the '&'.
QMetaType parameterType(const QMetaMethod& m, int i) {
    const QMetaType direct = m.parameterMetaType(i);
    if (direct.isValid()) return direct;
    QByteArray name = m.parameterTypeName(i);
    if (name.endsWith('&')) name.chop(1);
    if (name == "int16_t") return QMetaType::fromType<int16_t>();
    if (name == "int32_t") return QMetaType::fromType<int32_t>();
    return QMetaType::fromName(name);
}

Qt::MouseButton buttonOf(int code) {
    switch (code) {
    case 1: return Qt::LeftButton;
    case 2: return Qt::RightButton;
    case 4: return Qt::MiddleButton;
    default: return Qt::NoButton;
    }
}

Qt::KeyboardModifiers modifiersOf(int shift) {
    Qt::KeyboardModifiers m;
    if (shift & 1) m |= Qt::ShiftModifier;
    if (shift & 2) m |= Qt::ControlModifier;
    if (shift & 4) m |= Qt::AltModifier;
    return m;
}

int toInt(const QString& word) {
    bool ok = false;
    const int v = word.toInt(&ok);
    if (!ok) throw ShellError{kTypeMismatch, QStringLiteral("'%1' is not a whole number").arg(word)};
    return v;
}
}  // namespace

ScriptShell::ScriptShell(tvn::Trelvan& control, QTextStream& out) : control_(control), out_(out) {
    spy_ = std::make_unique<EventSpy>(&control_, [this](const QMetaMethod& s, void** a) { onEvent({}, s, a); });
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
        else if (verb == QLatin1String("pointer")) pointer(words);
        else if (verb == QLatin1String("key")) key(words);
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

QMetaMethod ScriptShell::findMethod(const QObject& object, const QString& name) const {
    const QMetaObject* meta = object.metaObject();
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod m = meta->method(i);
        if (m.methodType() == QMetaMethod::Method && QLatin1String(m.name()) == name) return m;
    }
    return {};
}

QVariant ScriptShell::invoke(QObject* object, const QMetaMethod& method, const QStringList& argWords,
                             QList<QPair<QString, QVariant>>& byRef, bool& hasResult) {
    const int n = method.parameterCount();
    if (argWords.size() != n)
        throw ShellError{kWrongArgumentCount, QStringLiteral("%1 takes %2 argument(s), %3 given")
                                                  .arg(QLatin1String(method.name()))
                                                  .arg(n)
                                                  .arg(argWords.size())};
    QList<QVariant> args;
    for (int i = 0; i < n; ++i) {
        QVariant v;
        if (!ValueText::convert(ValueText::parse(argWords[i]), parameterType(method, i), v))
            throw ShellError{kTypeMismatch, QStringLiteral("argument %1 '%2' does not fit %3")
                                                .arg(QString::fromUtf8(method.parameterNames().value(i)), argWords[i],
                                                     ValueText::typeName(parameterType(method, i)))};
        args.append(v);
    }
    hasResult = method.returnMetaType().id() != QMetaType::Void;
    QVariant result = hasResult ? QVariant(method.returnMetaType()) : QVariant();
    QList<void*> argv;
    argv.append(hasResult ? result.data() : nullptr);
    for (QVariant& v : args) argv.append(v.data());
    // Invoked by index so the method works on the very variables above: by-reference
    // arguments come back as the method left them.
    QMetaObject::metacall(object, QMetaObject::InvokeMetaMethod, method.methodIndex(), argv.data());
    for (int i = 0; i < n; ++i)
        if (isByRef(method, i)) byRef.append({QString::fromUtf8(method.parameterNames().value(i)), args[i]});
    return result;
}

void ScriptShell::call(const QStringList& words) {
    if (words.size() < 2) throw ShellError{kWrongArgumentCount, QStringLiteral("usage: call NAME [ARG ...]")};
    const Member target = resolve(words[1]);
    const QMetaMethod method = findMethod(*target.object, target.name);
    if (!method.isValid()) throw ShellError{kNoSuchMember, QStringLiteral("No method %1").arg(words[1])};
    QList<QPair<QString, QVariant>> byRef;
    bool hasResult = false;
    const QVariant result = invoke(target.object, method, words.mid(2), byRef, hasResult);
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

void ScriptShell::pointer(const QStringList& words) {
    if (words.size() < 4 || words.size() > 6)
        throw ShellError{kWrongArgumentCount, QStringLiteral("usage: pointer down|move|up X Y [BUTTON [SHIFT]]")};
    const QString kind = words[1];
    QEvent::Type type;
    if (kind == QLatin1String("down")) type = QEvent::MouseButtonPress;
    else if (kind == QLatin1String("move")) type = QEvent::MouseMove;
    else if (kind == QLatin1String("up")) type = QEvent::MouseButtonRelease;
    else throw ShellError{tvn::err::InvalidCall, QStringLiteral("pointer takes down, move or up")};
    const int defaultButton = type == QEvent::MouseMove ? 0 : 1;
    const Qt::MouseButton button = buttonOf(words.size() > 4 ? toInt(words[4]) : defaultButton);
    const Qt::KeyboardModifiers modifiers = modifiersOf(words.size() > 5 ? toInt(words[5]) : 0);
    if (type == QEvent::MouseButtonPress) pressed_ |= button;
    if (type == QEvent::MouseButtonRelease) pressed_ &= ~Qt::MouseButtons(button);
    QWidget* target = control_.visibleVideoWidget();
    const QPointF local(toInt(words[2]), toInt(words[3]));
    const Qt::MouseButtons buttons = type == QEvent::MouseMove && button != Qt::NoButton ? pressed_ | button : pressed_;
    QMouseEvent event(type, local, target->mapToGlobal(local), type == QEvent::MouseMove ? Qt::NoButton : button,
                      buttons, modifiers);
    QApplication::sendEvent(target, &event);
}

void ScriptShell::key(const QStringList& words) {
    if (words.size() != 2) throw ShellError{kWrongArgumentCount, QStringLiteral("usage: key CODE")};
    const int code = toInt(words[1]);
    QWidget* target = control_.visibleVideoWidget();
    int qtKey = code;
    if (code == 8) qtKey = Qt::Key_Backspace;
    else if (code == 13) qtKey = Qt::Key_Return;
    else if (code == 27) qtKey = Qt::Key_Escape;
    else if (code >= 'a' && code <= 'z') qtKey = code - 'a' + 'A';
    QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier, QString(QChar(code)));
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, qtKey, Qt::NoModifier, QString(QChar(code)));
    QApplication::sendEvent(target, &release);
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
        const QMetaMethod method = findMethod(*target.object, target.name);
        if (!method.isValid() || method.parameterCount() != 0)
            throw ShellError{kNoSuchMember, QStringLiteral("No property or argument-less method %1").arg(name)};
        QList<QPair<QString, QVariant>> byRef;
        bool hasResult = false;
        actual = invoke(target.object, method, {}, byRef, hasResult);
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
        parts.append(ValueText::format(parameterType(signal, i), args[i + 1]));
    out_ << "event " << prefix << signal.name() << "(" << parts.join(QLatin1String(", ")) << ")\n";
    out_.flush();
    eventCounts_[prefix + QString::fromLatin1(signal.name())] += 1;
}

QString ScriptShell::describeMethod(const QMetaMethod& m) const {
    QStringList params;
    for (int i = 0; i < m.parameterCount(); ++i)
        params.append(QStringLiteral("%1 %2 As %3")
                          .arg(isByRef(m, i) ? QStringLiteral("ByRef") : QStringLiteral("ByVal"),
                               QString::fromUtf8(m.parameterNames().value(i)),
                               ValueText::typeName(parameterType(m, i))));
    QString text = QStringLiteral("%1(%2)").arg(QLatin1String(m.name()), params.join(QLatin1String(", ")));
    if (m.returnMetaType().id() != QMetaType::Void) text += QStringLiteral(" As ") + ValueText::typeName(m.returnMetaType());
    return text;
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
        const QMetaMethod m = findMethod(control_, name);
        if (m.isValid()) out_ << "method " << describeMethod(m) << "\n";
    }
    for (const QMetaMethod& s : spy_->signalList()) out_ << "event " << describeMethod(s) << "\n";
}

}  // namespace tvnsh
