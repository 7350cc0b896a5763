// Child access, broadcasts, the first-answer query, and the tree collectors and finders.

#include "vorn_ui/walks.hpp"
#include "vorn_ui/widget.hpp"

namespace vorn_ui {

std::vector<const Widget*> Widget::children() const { return {}; }
std::vector<Widget*> Widget::children_mut() { return {}; }

void Widget::for_each_child(FunctionRef<void(const Widget&)> visit) const
{
    const std::vector<const Widget*> list = children();
    for (const Widget* child : list) {
        visit(*child);
    }
}

// ---- Broadcasts: the argument reaches every child unchanged; the widget itself does nothing ------------------------

void Widget::visit_descendants(WordPair arg) const
{
    walks::each(*this, [arg](const Widget& child) { child.visit_descendants(arg); });
}

void Widget::visit_descendants_mut(WordPair arg)
{
    walks::each_mut(*this, [arg](Widget& child) { child.visit_descendants_mut(arg); });
}

void Widget::set_interaction_flag(std::uint8_t flag)
{
    walks::each_mut(*this, [flag](Widget& child) { child.set_interaction_flag(flag); });
}

void Widget::set_interaction_environment(InteractionEnv env)
{
    walks::each_mut(*this, [env](Widget& child) { child.set_interaction_environment(env); });
}

void Widget::notify_descendants(WordPair arg)
{
    walks::each_mut(*this, [arg](Widget& child) { child.notify_descendants(arg); });
}

void Widget::propagate_code(std::uint32_t code)
{
    walks::each_mut(*this, [code](Widget& child) { child.propagate_code(code); });
}

std::optional<QueryAnswer> Widget::query_descendants(QueryRecord& query)
{
    const std::vector<Widget*> list = children_mut();
    for (Widget* child : list) {
        if (query.finished()) {  // re-read before each child: an earlier child may have finished it
            return std::nullopt;
        }
        std::optional<QueryAnswer> answer = child->query_descendants(query);
        if (answer) {
            return answer;
        }
    }
    return std::nullopt;
}

// ---- Collectors: every child's list, joined in child order --------------------------------------------------------

std::vector<TextPairEntry> Widget::collect_text_entries(std::uintptr_t context) const
{
    return walks::join(*this, [context](const Widget& child) { return child.collect_text_entries(context); });
}

std::vector<std::string> Widget::take_texts()
{
    return walks::join_mut(*this, [](Widget& child) { return child.take_texts(); });
}

std::vector<ViewEntry> Widget::take_view_entries()
{
    return walks::join_mut(*this, [](Widget& child) { return child.take_view_entries(); });
}

std::vector<ViewEntry> Widget::take_view_entries_2()
{
    return walks::join_mut(*this, [](Widget& child) { return child.take_view_entries_2(); });
}

std::vector<ViewEntry> Widget::take_view_entries_3()
{
    return walks::join_mut(*this, [](Widget& child) { return child.take_view_entries_3(); });
}

// ---- Searches and first answers -----------------------------------------------------------------------------------

bool Widget::subtree_flag() const
{
    return walks::first_true(*this, [](const Widget& child) { return child.subtree_flag(); });
}

bool Widget::offer_request(std::uint32_t request, std::uintptr_t first, std::uintptr_t second)
{
    return walks::first_true_mut(
        *this, [&](Widget& child) { return child.offer_request(request, first, second); });
}

bool Widget::offer_code(std::uint8_t code)
{
    return walks::first_true_mut(*this, [code](Widget& child) { return child.offer_code(code); });
}

std::optional<TextPair> Widget::take_text_pair()
{
    return walks::first_mut(*this, [](Widget& child) { return child.take_text_pair(); });
}

bool Widget::reveal_descendant(const Widget* target)
{
    return walks::first_true_mut(
        *this, [target](Widget& child) { return &child == target || child.reveal_descendant(target); });
}

}  // namespace vorn_ui
