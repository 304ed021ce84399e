#include "UserInput.h"

#include "ShellError.h"
#include "control/Trelvan.h"
#include "core/TvnError.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

namespace tvnsh {

namespace {

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

}  // namespace

void UserInput::pointer(const QStringList& words) {
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

void UserInput::key(const QStringList& words) {
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

}  // namespace tvnsh
