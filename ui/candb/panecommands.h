#pragma once
// The context-menu commands of the database editor's panes: each pane keeps a table of command id and
// handler, and a triggered action runs the handler of its id.
#include <cstddef>
#include <cstdint>
#include <utility>

namespace candbui {

template <class Pane>
using PaneCommand = std::pair<uint32_t, void (Pane::*)()>;

// Runs the handler the table holds for the id; an id not in the table does nothing.
template <class Pane, size_t N>
void RunPaneCommand(Pane& pane, uint32_t id, const PaneCommand<Pane> (&table)[N]) {
    for (const auto& [cmd, handler] : table) {
        if (cmd == id) {
            (pane.*handler)();
            return;
        }
    }
}

}  // namespace candbui
