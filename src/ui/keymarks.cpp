#include "ui/keymarks.h"

#include "ui/uiplatform.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>

namespace {

constexpr int kPollMs = 250;
// Between the marks and from the field's right edge.
constexpr int kGap = 3;

QLabel *mark(QLineEdit *field, const char *suffix, const QColor &colour, const QString &toolTip)
{
    auto *label = new QLabel(field);
    label->setObjectName(field->objectName() + QLatin1String(suffix));
    QFont font = platform::uiFont(9);
    font.setBold(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->setToolTip(toolTip);
    // Clicks go to the field beneath.
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    label->hide();
    return label;
}

} // namespace

KeyboardMarks::KeyboardMarks(QLineEdit *field)
    : QObject(field), m_field(field),
      m_caps(mark(field, "Caps", QColor(192, 0, 0), QStringLiteral("включён Caps Lock"))),
      m_layout(mark(field, "Layout", QColor(96, 96, 96), QStringLiteral("раскладка клавиатуры")))
{
    m_caps->setText(QStringLiteral("⇪"));
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &KeyboardMarks::refresh);
    field->installEventFilter(this);
}

void KeyboardMarks::refresh()
{
    if (!m_field->hasFocus()) {
        hideMarks();
        return;
    }
    m_caps->setVisible(platform::capsLockOn());
    const QString layout = platform::keyboardLayout();
    m_layout->setText(layout);
    m_layout->setVisible(!layout.isEmpty());
    place();
}

void KeyboardMarks::place()
{
    // From the right edge inwards, and the typed text kept clear of them.
    int right = m_field->width() - kGap;
    for (QLabel *label : {m_layout, m_caps}) {
        if (label->isHidden())
            continue;
        label->adjustSize();
        right -= label->width();
        label->move(right, (m_field->height() - label->height()) / 2);
        right -= kGap;
    }
    m_field->setTextMargins(0, 0, m_field->width() - right - kGap, 0);
}

void KeyboardMarks::hideMarks()
{
    m_poll.stop();
    m_caps->hide();
    m_layout->hide();
    m_field->setTextMargins(0, 0, 0, 0);
}

bool KeyboardMarks::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_field) {
        switch (event->type()) {
        case QEvent::FocusIn:
            m_poll.start();
            refresh();
            break;
        case QEvent::FocusOut:
            hideMarks();
            break;
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Resize:
            refresh();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}
