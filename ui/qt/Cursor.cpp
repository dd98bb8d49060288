#include "Cursor.h"

#include "WinDefs.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>

namespace {

// Holds the override cursor of the last SetCursor and drops it at the next mouse move.
class TransientCursor : public QObject {
public:
    HCURSOR Set(Qt::CursorShape shape) {
        const HCURSOR previous = m_shape;
        if (m_shape) {
            QGuiApplication::changeOverrideCursor(QCursor(shape));
        } else {
            QGuiApplication::setOverrideCursor(QCursor(shape));
            if (QCoreApplication* app = QCoreApplication::instance())
                app->installEventFilter(this);
        }
        m_shape = shape;
        return previous;
    }

    HCURSOR Current() const { return m_shape; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Mouse moves reach the window objects whether or not a widget tracks the mouse.
        if (m_shape && (event->type() == QEvent::MouseMove || event->type() == QEvent::HoverMove))
            Drop();
        return QObject::eventFilter(watched, event);
    }

private:
    void Drop() {
        m_shape.reset();
        QGuiApplication::restoreOverrideCursor();
        if (QCoreApplication* app = QCoreApplication::instance())
            app->removeEventFilter(this);
    }

    HCURSOR m_shape;
};

TransientCursor& Transient() {
    static TransientCursor* cursor = new TransientCursor; // lives as long as the application
    return *cursor;
}

} // namespace

HCURSOR LoadCursor(std::nullptr_t, int nIdCursor) {
    switch (nIdCursor) {
    case IDC_ARROW:
        return Qt::ArrowCursor;
    case IDC_WAIT:
        return Qt::WaitCursor;
    case IDC_UPARROW:
        return Qt::UpArrowCursor;
    default:
        return std::nullopt;
    }
}

HCURSOR SetCursor(HCURSOR hCursor) {
    if (!hCursor)
        return Transient().Current();
    return Transient().Set(*hCursor);
}

HCURSOR GetTransientCursor() {
    return Transient().Current();
}
