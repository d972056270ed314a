#pragma once
// What the editor window does for its two panes: the tree asks it to show a node in the list, the list
// asks it to mirror a change in the tree. Modes of UpdateTreeNode: 0 add, 1 delete, 2 edit.
#include <QString>

#include <cstdint>

namespace candbui {

inline constexpr uint8_t kTreeAdd = 0;
inline constexpr uint8_t kTreeDelete = 1;
inline constexpr uint8_t kTreeEdit = 2;

class CDbEditRelay {
public:
    virtual ~CDbEditRelay() = default;
    virtual void ShowNodeInList(uint32_t key, const QString& text) = 0;
    virtual void UpdateTreeNode(uint8_t mode, uint32_t oldKey, const QString& oldText, uint32_t newKey,
                                const QString& newText) = 0;
};

}  // namespace candbui
