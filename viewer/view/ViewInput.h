// The mouse modes, drags and keys of the video view, as a state machine apart from the widget.
//
// Space held: pan mode (a left drag scrolls the picture, the wheel scrolls it). Ctrl held: zoom
// mode (a left click zooms in, a left drag of 9 pixels or more draws a zoom rectangle, a right
// click zooms out about its point and holds the zoom-out mode until the button comes up, the
// wheel zooms about the pointer; so does the wheel with Ctrl among its modifiers). What the other
// view keys do comes from the key table (kavlo::LookUpViewKey); this unit hands them on to the view
// without deciding anything about them.
//
// The state machine reaches the view through ViewInputHost; all points are client points
// (device pixels of the viewport).
#pragma once

#include "KeyInput.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <Qt>

class QKeyEvent;

namespace kavlo {

// The modes and drag states, as numbers the view reports.
struct ViewInputStates {
    enum MouseMode { MouseNone = 0, MousePan = 1, MouseZoom = 2, MouseZoomOut = 3 };
    enum DragState { DragNone = 0, DragPanning = 1, DragRectangle = 2, DragZoomPressed = 3 };
};

// What the state machine asks of the view.
class ViewInputHost {
public:
    virtual QSize InputClientSize() const = 0;
    virtual QSize InputZoomedSize() const = 0;
    virtual QPoint InputScrollPosition() const = 0;
    virtual void InputScrollTo(QPoint position) = 0;
    virtual void InputZoomIn() = 0;
    // Zooms out one step about the picture point under client point `at`, or about the window
    // centre without one.
    virtual void InputZoomOut(const QPoint* at) = 0;
    // Zooms one step in (`in`) or out, keeping the picture point under client point `at` there.
    virtual void InputZoomAtPoint(bool in, QPoint at) = 0;
    // Zooms to show the client rectangle `rect` (at least 1 pixel on one side).
    virtual void InputZoomToRectangle(const QRect& rect) = 0;
    // Carries out a key of the key table; true when it was consumed.
    virtual bool InputViewKey(const ViewKey& key) = 0;
    virtual void InputModeChanged(int mouseMode) = 0;  // the cursor follows the mode
    virtual void InputRepaint() = 0;                   // the zoom rectangle changed

protected:
    ~ViewInputHost() = default;
};

class ViewInput : public ViewInputStates {
public:
    explicit ViewInput(ViewInputHost& host) : host_(host) {}

    int Mode() const { return mode_; }
    int Drag() const { return drag_; }
    QRect ZoomRectangle() const { return zoomRect_; }
    bool Captured() const { return captured_; }

    void MouseMove(QPoint point);
    void ButtonDown(Qt::MouseButton button, QPoint point);
    void ButtonUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers);
    // True when the wheel was the view's (pan and zoom modes, or Ctrl held); otherwise the
    // scroll area's. `point` is the pointer's client point, about which the zoom mode zooms.
    bool Wheel(int delta, Qt::KeyboardModifiers modifiers, QPoint point);

    // Key presses and releases of the view keys; true when consumed.
    bool KeyPress(const QKeyEvent& event);
    bool KeyRelease(const QKeyEvent& event);
    // The space key's own window handling (in fit mode too).
    void SpaceDown();
    void SpaceUp(Qt::KeyboardModifiers modifiers);

private:
    void CtrlUp();
    void SetMode(int mode);
    // Scrolls to `target`, but only along the axes where the picture is larger than the client.
    void ScrollWherePossible(QPoint target);
    void SpanRectangle(QPoint point);

    ViewInputHost& host_;
    int mode_ = MouseNone;
    int drag_ = DragNone;
    QPoint lastPanPoint_;
    QPoint dragStart_;
    QRect zoomRect_;
    bool captured_ = false;
};

}  // namespace kavlo
