#include "X11Hold.h"

#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

std::unique_ptr<X11Hold> X11Hold::ofThisDisplay()
{
    const auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return nullptr;
    return std::unique_ptr<X11Hold>(new X11Hold(x11->connection()));
}

X11Hold::X11Hold(xcb_connection_t *connection)
    : m_connection(connection)
{
    qApp->installNativeEventFilter(this);
}

X11Hold::~X11Hold()
{
    qApp->removeNativeEventFilter(this);
}

void X11Hold::watch(QWindow *window)
{
    const auto id = xcb_window_t(window->winId());
    // Qt selects its own events on the window; these are added to them.
    const xcb_get_window_attributes_reply_t *attributes = xcb_get_window_attributes_reply(
        m_connection, xcb_get_window_attributes(m_connection, id), nullptr);
    const quint32 mask = (attributes ? attributes->your_event_mask : 0)
        | XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_VISIBILITY_CHANGE;
    std::free(const_cast<xcb_get_window_attributes_reply_t *>(attributes));
    xcb_change_window_attributes(m_connection, id, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(m_connection);
    m_watched.push_back(id);
}

void X11Hold::putOnTop(QWindow *window)
{
    const auto id = xcb_window_t(window->winId());
    const quint32 above = XCB_STACK_MODE_ABOVE;
    xcb_map_window(m_connection, id);
    xcb_configure_window(m_connection, id, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_flush(m_connection);
}

X11Hold::Grab X11Hold::grab(QWindow *window)
{
    const auto id = xcb_window_t(window->winId());
    const xcb_grab_keyboard_cookie_t keyboard = xcb_grab_keyboard(
        m_connection, false, id, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    const xcb_grab_pointer_cookie_t pointer = xcb_grab_pointer(
        m_connection, false, id,
        XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE | XCB_EVENT_MASK_POINTER_MOTION,
        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE, XCB_NONE, XCB_CURRENT_TIME);
    xcb_grab_keyboard_reply_t *keyboardReply
        = xcb_grab_keyboard_reply(m_connection, keyboard, nullptr);
    xcb_grab_pointer_reply_t *pointerReply = xcb_grab_pointer_reply(m_connection, pointer, nullptr);
    const quint8 statuses[]
        = {keyboardReply ? keyboardReply->status : quint8(XCB_GRAB_STATUS_FROZEN),
           pointerReply ? pointerReply->status : quint8(XCB_GRAB_STATUS_FROZEN)};
    std::free(keyboardReply);
    std::free(pointerReply);
    if (std::all_of(std::begin(statuses), std::end(statuses),
                    [](quint8 status) { return status == XCB_GRAB_STATUS_SUCCESS; }))
        return Grab::Held;
    if (std::any_of(std::begin(statuses), std::end(statuses),
                    [](quint8 status) { return status == XCB_GRAB_STATUS_NOT_VIEWABLE; }))
        return Grab::NotViewable;
    return Grab::Refused;
}

bool X11Hold::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    const auto watched = [this](xcb_window_t window) {
        return std::find(m_watched.begin(), m_watched.end(), window) != m_watched.end();
    };
    switch (event->response_type & 0x7f) {
    case XCB_UNMAP_NOTIFY:
        if (watched(reinterpret_cast<const xcb_unmap_notify_event_t *>(event)->window))
            emit unmapped();
        break;
    case XCB_VISIBILITY_NOTIFY: {
        const auto *visibility = reinterpret_cast<const xcb_visibility_notify_event_t *>(event);
        if (visibility->state != XCB_VISIBILITY_UNOBSCURED && watched(visibility->window))
            emit obscured();
        break;
    }
    default:
        break;
    }
    return false; // Qt sees every event as well
}
