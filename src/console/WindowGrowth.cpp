#include "console/WindowGrowth.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace console {

namespace {

// The text a caption shows: its access key's '&' is not drawn.
QString shownText(QString text) {
    return text.replace(QLatin1String("&&"), QLatin1String("\x01"))
        .remove(QLatin1Char('&'))
        .replace(QLatin1Char('\x01'), QLatin1Char('&'));
}

} // namespace

int captionWidth(const QWidget& widget) {
    const auto* button = qobject_cast<const QAbstractButton*>(&widget);
    const auto* label = qobject_cast<const QLabel*>(&widget);
    const QString text = button ? button->text() : label ? label->text() : QString();
    if (text.isEmpty() || (label && label->wordWrap())) return 0;
    const int advance = widget.fontMetrics().horizontalAdvance(shownText(text));
    if (label) return advance + 2 * label->margin() + 2 * label->frameWidth();
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = text;
    const bool check = qobject_cast<const QCheckBox*>(button) != nullptr;
    const bool radio = qobject_cast<const QRadioButton*>(button) != nullptr;
    const auto element = check   ? QStyle::SE_CheckBoxContents
                         : radio ? QStyle::SE_RadioButtonContents
                                 : QStyle::SE_PushButtonContents;
    const QRect contents = button->style()->subElementRect(element, &option, button);
    // Check boxes draw their caption from the contents' left edge; push
    // buttons centre it between their bevels.
    return check || radio ? contents.left() + advance : advance + widget.width() - contents.width();
}

namespace {

// The least room kept between a control and its frame's edge, and between
// two controls on a row.
constexpr int kEdge = 3;
constexpr int kGap = 3;
constexpr int kWideGap = 12;

// Controls on one row: the middle of either is within the other's height.
bool sameRow(const QRect& a, const QRect& b) {
    const auto within = [](int y, const QRect& r) { return y >= r.top() && y <= r.bottom(); };
    return within(a.center().y(), b) || within(b.center().y(), a);
}

} // namespace

WindowGrowth::WindowGrowth(QWidget& area)
    : QObject(&area), area_(area), designedSize_(area.minimumSize()) {
    // The controls placed by hand: the area's own and its frames'. What a
    // control lays out inside itself stays its own business.
    for (QWidget* child : area.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        placed_.push_back({child, child->geometry(), Stay});
        if (qobject_cast<QGroupBox*>(child) == nullptr) continue;
        for (QWidget* inner : child->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            placed_.push_back({inner, inner->geometry(), Stay});
    }
    area.installEventFilter(this);
}

void WindowGrowth::follow(QWidget* widget, unsigned how) {
    for (Placed& p : placed_)
        if (p.widget == widget) p.follow = how;
}

void WindowGrowth::layOut() {
    layOutQueued_ = false;
    for (const Placed& p : placed_)
        p.widget->setGeometry(p.designed);
    fitCaptions();
    const int dx = std::max(0, area_.width() - designedSize_.width());
    const int dy = std::max(0, area_.height() - designedSize_.height());
    for (const Placed& p : placed_) {
        if (p.follow == Stay) continue;
        QRect g = p.widget->geometry();
        if (p.follow & MoveRight) g.translate(dx, 0);
        if (p.follow & MoveDown) g.translate(0, dy);
        if (p.follow & Wider) g.setWidth(g.width() + dx);
        if (p.follow & Taller) g.setHeight(g.height() + dy);
        p.widget->setGeometry(g);
    }
}

void WindowGrowth::fitCaptions() {
    for (const Placed& p : placed_) {
        QWidget* widget = p.widget;
        const int overflow = captionWidth(*widget) - widget->width();
        if (overflow <= 0) continue;
        const QRect was = widget->geometry();
        widget->resize(widget->width() + overflow, widget->height());
        // The controls after it on its row, nearest first, move only as far
        // as the one before them now reaches, keeping the gap between them
        // (or a usual one where it was wide).
        std::vector<QWidget*> after;
        for (QObject* o : widget->parentWidget()->children()) {
            auto* sibling = qobject_cast<QWidget*>(o);
            if (sibling && sibling != widget && sibling->x() > was.right() &&
                sameRow(sibling->geometry(), was))
                after.push_back(sibling);
        }
        std::sort(after.begin(), after.end(),
                  [](const QWidget* a, const QWidget* b) { return a->x() < b->x(); });
        int reach = widget->geometry().right();
        int previousRight = was.right();
        for (QWidget* sibling : after) {
            const int gap = sibling->x() - previousRight;
            previousRight = sibling->geometry().right();
            sibling->move(std::max(sibling->x(), reach + std::min(gap, kWideGap)), sibling->y());
            reach = sibling->geometry().right();
        }
        // Past the frame's edge, the row moves back left into the room
        // before the control, if there is any.
        const int excess = reach - (widget->parentWidget()->width() - kEdge);
        if (excess <= 0) continue;
        int leftRoom = was.left() - kEdge;
        for (QObject* o : widget->parentWidget()->children()) {
            auto* sibling = qobject_cast<QWidget*>(o);
            if (sibling && sibling != widget && sibling->geometry().right() < was.left() &&
                sameRow(sibling->geometry(), was))
                leftRoom = std::min(leftRoom, was.left() - sibling->geometry().right() - 1 - kGap);
        }
        const int back = std::clamp(excess, 0, std::max(0, leftRoom));
        widget->move(widget->x() - back, widget->y());
        for (QWidget* sibling : after)
            sibling->move(sibling->x() - back, sibling->y());
    }
}

bool WindowGrowth::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &area_) {
        if (event->type() == QEvent::Resize) {
            layOut();
        } else if (event->type() == QEvent::FontChange && !layOutQueued_) {
            // The children take the new font after the area hears of it.
            layOutQueued_ = true;
            QTimer::singleShot(0, this, [this] {
                if (layOutQueued_) layOut();
            });
        }
    }
    return false;
}

} // namespace console
