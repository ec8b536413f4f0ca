// An ordered list of references to items it does not own, with one cursor.
//
// Position numbers always equal the 0-based place of an entry. Removing the
// entry under the cursor leaves the cursor on no entry; the following
// `next` then continues with the entry that followed the removed one.
#pragma once

#include <cstddef>
#include <vector>

namespace qv {

template <typename T>
class RecordList {
public:
    void append(T* item) {
        items_.push_back(item);
        cursor_ = items_.size() - 1;
        removedUnderCursor_ = false;
    }

    T* first() {
        cursor_ = 0;
        removedUnderCursor_ = false;
        return items_.empty() ? nullptr : items_[0];
    }

    T* next() {
        if (removedUnderCursor_) {
            removedUnderCursor_ = false;  // the follower already sits at cursor_
        } else if (cursor_ < items_.size()) {
            ++cursor_;
        }
        return cursor_ < items_.size() ? items_[cursor_] : nullptr;
    }

    // The item under the cursor, or none.
    T* current() const {
        return !removedUnderCursor_ && cursor_ < items_.size() ? items_[cursor_] : nullptr;
    }

    // Unlinks the entry under the cursor without freeing its item.
    bool removeCurrent() {
        if (removedUnderCursor_ || cursor_ >= items_.size()) return false;
        items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(cursor_));
        removedUnderCursor_ = true;
        return true;
    }

    void clear() {
        items_.clear();
        cursor_ = 0;
        removedUnderCursor_ = false;
    }

    T* findByPosition(std::size_t position) const {
        return position < items_.size() ? items_[position] : nullptr;
    }
    T* findByPosition(long position) const {
        return position < 0 ? nullptr : findByPosition(static_cast<std::size_t>(position));
    }

    std::size_t count() const { return items_.size(); }
    bool empty() const { return items_.empty(); }

    // Range access for read-only walks that must not move the cursor.
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<T*> items_;
    std::size_t cursor_ = 0;
    bool removedUnderCursor_ = false;
};

}  // namespace qv
