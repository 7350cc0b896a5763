#pragma once
// The walk shapes of the Widget defaults, each written once. A walk asks the direct children of one widget; the
// recursion comes from each child's own version of the operation it is asked.
//
//   through for_each_child (read-only):
//     any_short        walk A: ask only while the answer is false            (needs_animation_frame, needs_commit)
//     seen_any         walk V: `seen` plus any, short-circuit                 (needs_redraw, is_layout_dirty, ...)
//     earliest         walk D: the strictly earliest present deadline         (next_wake_deadline)
//     first_present    walk F: ask only while nothing is stored               (first_descendant_region)
//     or_all           walk O: every child asked, answers or-ed               (any_descendant_signal)
//     append_each      every child's list appended                             (control_action_bindings, handlers)
//   through children() (read-only):
//     each             every child, in order                                   (visit_descendants)
//     join             every child's list joined                               (collect_text_entries)
//     first_true       stop at the first true                                  (subtree_flag)
//   through children_mut():
//     each_mut         walk E: every child, in order                           (broadcasts, mark_drawn, ...)
//     or_all_mut       walk O: every child asked, answers or-ed                (take_structure_dirty)
//     join_mut         every child's list joined                               (take_texts, take_view_entries*)
//     first_true_mut   stop at the first true                                  (offer_request, offer_code, ...)
//     first_mut        the first present optional answer                       (take_text_pair, pane_descriptor, ...)
//     first_settled_mut the first answer a predicate accepts                   (resource operations)
//
// The child list taken from children()/children_mut() lives for the walk only and is released on every exit path.

#include "vorn_ui/widget.hpp"

#include <optional>
#include <utility>
#include <vector>

namespace vorn_ui::walks {

// ---- through for_each_child ---------------------------------------------------------------------------------------

template <class Ask>
bool any_short(const Widget& widget, Ask&& ask)
{
    bool answer = false;
    widget.for_each_child([&](const Widget& child) {
        if (!answer) {
            answer = ask(child);
        }
    });
    return answer;
}

struct SeenAny {
    bool seen = false;
    bool answer = false;
};

template <class Ask>
SeenAny seen_any(const Widget& widget, Ask&& ask)
{
    SeenAny result;
    widget.for_each_child([&](const Widget& child) {
        result.seen = true;
        if (!result.answer) {
            result.answer = ask(child);
        }
    });
    return result;
}

template <class Ask>
std::optional<Instant> earliest(const Widget& widget, Ask&& ask)
{
    std::optional<Instant> best;
    widget.for_each_child([&](const Widget& child) {
        const std::optional<Instant> candidate = ask(child);
        if (candidate && (!best || *candidate < *best)) {
            best = candidate;
        }
    });
    return best;
}

template <class Ask>
auto first_present(const Widget& widget, Ask&& ask) -> decltype(ask(widget))
{
    decltype(ask(widget)) stored;
    widget.for_each_child([&](const Widget& child) {
        if (!stored) {
            stored = ask(child);
        }
    });
    return stored;
}

template <class Ask>
bool or_all(const Widget& widget, Ask&& ask)
{
    bool answer = false;
    widget.for_each_child([&](const Widget& child) {
        const bool child_answer = ask(child);
        answer = answer || child_answer;
    });
    return answer;
}

// `ask` returns a container; its elements are moved to the end of `into` (for a set: inserted, first copy kept).
template <class Container, class Ask>
void append_each(const Widget& widget, Container& into, Ask&& ask)
{
    widget.for_each_child([&](const Widget& child) {
        auto items = ask(child);
        for (auto& item : items) {
            into.insert(into.end(), std::move(item));
        }
    });
}

// ---- through children() -------------------------------------------------------------------------------------------

template <class Visit>
void each(const Widget& widget, Visit&& visit)
{
    const std::vector<const Widget*> list = widget.children();
    for (const Widget* child : list) {
        visit(*child);
    }
}

template <class Ask>
auto join(const Widget& widget, Ask&& ask) -> decltype(ask(widget))
{
    decltype(ask(widget)) result;
    const std::vector<const Widget*> list = widget.children();
    for (const Widget* child : list) {
        auto items = ask(*child);
        if (result.empty()) {
            result = std::move(items);
        } else {
            result.insert(result.end(), std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
        }
    }
    return result;
}

template <class Ask>
bool first_true(const Widget& widget, Ask&& ask)
{
    const std::vector<const Widget*> list = widget.children();
    for (const Widget* child : list) {
        if (ask(*child)) {
            return true;
        }
    }
    return false;
}

// ---- through children_mut() ---------------------------------------------------------------------------------------

template <class Visit>
void each_mut(Widget& widget, Visit&& visit)
{
    const std::vector<Widget*> list = widget.children_mut();
    for (Widget* child : list) {
        visit(*child);
    }
}

template <class Ask>
bool or_all_mut(Widget& widget, Ask&& ask)
{
    bool answer = false;
    const std::vector<Widget*> list = widget.children_mut();
    for (Widget* child : list) {
        const bool child_answer = ask(*child);  // asked even when the answer is already true
        answer = answer || child_answer;
    }
    return answer;
}

template <class Ask>
auto join_mut(Widget& widget, Ask&& ask) -> decltype(ask(widget))
{
    decltype(ask(widget)) result;
    const std::vector<Widget*> list = widget.children_mut();
    for (Widget* child : list) {
        auto items = ask(*child);
        if (result.empty()) {
            result = std::move(items);
        } else {
            result.insert(result.end(), std::make_move_iterator(items.begin()), std::make_move_iterator(items.end()));
        }
    }
    return result;
}

template <class Ask>
bool first_true_mut(Widget& widget, Ask&& ask)
{
    const std::vector<Widget*> list = widget.children_mut();
    for (Widget* child : list) {
        if (ask(*child)) {
            return true;
        }
    }
    return false;
}

// The first present answer (an optional) of a child; later children are not asked.
template <class Ask>
auto first_mut(Widget& widget, Ask&& ask) -> decltype(ask(widget))
{
    const std::vector<Widget*> list = widget.children_mut();
    for (Widget* child : list) {
        auto answer = ask(*child);
        if (answer) {
            return answer;
        }
    }
    return {};
}

// The first answer `settled` accepts; otherwise `fallback`. Later children are not asked.
template <class Answer, class Ask, class Settled>
Answer first_settled_mut(Widget& widget, Ask&& ask, Settled&& settled, Answer fallback)
{
    const std::vector<Widget*> list = widget.children_mut();
    for (Widget* child : list) {
        Answer answer = ask(*child);
        if (settled(answer)) {
            return answer;
        }
    }
    return fallback;
}

}  // namespace vorn_ui::walks
