#include "ViewInput.h"

#include <QKeyEvent>

#include <algorithm>
#include <cstdlib>

namespace kavlo {

void ViewInput::SetMode(int mode) {
    mode_ = mode;
    host_.InputModeChanged(mode_);
}

void ViewInput::ScrollWherePossible(QPoint target) {
    const QSize client = host_.InputClientSize();
    const QSize total = host_.InputZoomedSize();
    const QPoint scroll = host_.InputScrollPosition();
    if (total.width() <= client.width()) target.setX(scroll.x());
    if (total.height() <= client.height()) target.setY(scroll.y());
    host_.InputScrollTo(target);
}

void ViewInput::SpanRectangle(QPoint point) {
    zoomRect_.setCoords(std::min(dragStart_.x(), point.x()), std::min(dragStart_.y(), point.y()),
                        std::max(dragStart_.x(), point.x()), std::max(dragStart_.y(), point.y()));
    host_.InputRepaint();
}

// ---------------------------------------------------------------------------------------------
// Mouse

void ViewInput::MouseMove(QPoint point) {
    if (drag_ == DragPanning) {
        ScrollWherePossible(lastPanPoint_ - point + host_.InputScrollPosition());
        lastPanPoint_ = point;
    } else if (mode_ == MouseZoom && drag_ == DragZoomPressed) {
        const int dx = std::abs(point.x() - dragStart_.x());
        const int dy = std::abs(point.y() - dragStart_.y());
        if (std::max(dx, dy) >= 9) {
            drag_ = DragRectangle;
            captured_ = true;
            SpanRectangle(point);
        }
    } else if (drag_ == DragRectangle) {
        SpanRectangle(point);
    }
}

void ViewInput::ButtonDown(Qt::MouseButton button, QPoint point) {
    if (button == Qt::LeftButton) {
        if (mode_ == MousePan && drag_ != DragPanning) {
            drag_ = DragPanning;
            lastPanPoint_ = point;
            captured_ = true;
        } else if (mode_ == MouseZoom && drag_ != DragRectangle && drag_ != DragZoomPressed) {
            drag_ = DragZoomPressed;
            dragStart_ = point;
        }
    } else if (button == Qt::RightButton) {
        if (mode_ != MouseZoom) return;
        SetMode(MouseZoomOut);
        host_.InputZoomOut(&point);
    }
}

void ViewInput::ButtonUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers) {
    if (button == Qt::RightButton) {
        if (mode_ == MouseZoomOut && (modifiers & Qt::ControlModifier)) SetMode(MouseZoom);
        return;
    }
    if (button != Qt::LeftButton) return;
    if (mode_ == MousePan) {
        drag_ = DragNone;
        captured_ = false;
        return;
    }
    if (mode_ != MouseZoom) return;
    if (drag_ == DragZoomPressed) {
        drag_ = DragNone;
        host_.InputZoomIn();
        return;
    }
    // Only a rectangle that was actually drawn zooms: a release without one (the button went
    // down before Ctrl) would otherwise zoom to the limit on an empty rectangle.
    if (drag_ != DragRectangle) return;
    host_.InputRepaint();  // erases the focus rectangle
    drag_ = DragNone;
    // A rectangle dragged back to its start point is no rectangle: it is the click it began as.
    if (zoomRect_.left() == zoomRect_.right() && zoomRect_.top() == zoomRect_.bottom()) {
        host_.InputZoomIn();
    } else {
        host_.InputZoomToRectangle(zoomRect_);
    }
    captured_ = false;
}

bool ViewInput::Wheel(int delta, Qt::KeyboardModifiers modifiers, QPoint point) {
    if (mode_ == MousePan) {
        const QPoint scroll = host_.InputScrollPosition();
        if (modifiers & Qt::AltModifier) {
            ScrollWherePossible(QPoint(scroll.x() - delta, scroll.y()));
        } else {
            ScrollWherePossible(QPoint(scroll.x(), scroll.y() - delta));
        }
        return true;
    }
    // Ctrl on the wheel event zooms even when the view never saw the Ctrl key go down (the key
    // went to another window, or the focus was elsewhere).
    if (mode_ == MouseZoom || (mode_ == MouseNone && (modifiers & Qt::ControlModifier))) {
        host_.InputZoomAtPoint(delta >= 0, point);
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Keyboard

void ViewInput::SpaceDown() {
    if (mode_ != MouseNone) return;
    SetMode(MousePan);
}

void ViewInput::SpaceUp(Qt::KeyboardModifiers modifiers) {
    if (mode_ != MousePan) return;
    // Panning ends with the pan mode: the button's release would otherwise no longer find the
    // mode that ends it, and every later move would go on scrolling.
    if (drag_ == DragPanning) {
        drag_ = DragNone;
        captured_ = false;
    }
    SetMode((modifiers & Qt::ControlModifier) ? MouseZoom : MouseNone);
}

void ViewInput::CtrlUp() {
    if (drag_ == DragRectangle) {
        host_.InputRepaint();
        captured_ = false;
    }
    drag_ = DragNone;
    SetMode(MouseNone);
}

bool ViewInput::KeyPress(const QKeyEvent& event) {
    const ViewKey viewKey = LookUpViewKey(event);
    if (viewKey.action != ViewKeyAction::None) return host_.InputViewKey(viewKey);
    // Every other Shift key is consumed without effect.
    if (event.modifiers() & Qt::ShiftModifier) return true;
    switch (event.key()) {
    case Qt::Key_Space:
        if (!event.isAutoRepeat()) SpaceDown();
        return false;
    case Qt::Key_Control:
        if (mode_ == MouseNone) SetMode(MouseZoom);
        return true;
    default: return false;
    }
}

bool ViewInput::KeyRelease(const QKeyEvent& event) {
    if (event.isAutoRepeat()) return event.key() == Qt::Key_Control;
    switch (event.key()) {
    case Qt::Key_Space: SpaceUp(event.modifiers()); return false;
    case Qt::Key_Control: CtrlUp(); return true;
    default: return false;
    }
}

}  // namespace kavlo
