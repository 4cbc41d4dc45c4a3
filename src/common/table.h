// Tables numbered from 1, as the reports and the observation tables number
// their entries. Slot 0 exists but is unused, so entry i is stored at i.
#pragma once

#include <cassert>
#include <cstdint>
#include <vector>

namespace ptw3 {

/// A growing table whose entries are numbered 1 to count(); slot 0 is unused.
template <class T> class Table {
public:
    Table() : m_items(1) {}

    int32_t count() const { return static_cast<int32_t>(m_items.size()) - 1; }
    bool empty() const { return m_items.size() == 1; }

    T& operator[](int32_t i) {
        assert(i >= 1 && i <= count());
        return m_items[static_cast<size_t>(i)];
    }
    const T& operator[](int32_t i) const {
        assert(i >= 1 && i <= count());
        return m_items[static_cast<size_t>(i)];
    }
    T& last() { return (*this)[count()]; }
    const T& last() const { return (*this)[count()]; }

    /// Appends an entry and returns its number.
    int32_t append(T item) {
        m_items.push_back(std::move(item));
        return count();
    }
    void removeLast() {
        assert(count() > 0);
        m_items.pop_back();
    }
    /// Keeps entries 1 to n (n <= count()), or grows to n with default entries.
    void resize(int32_t n) { m_items.resize(static_cast<size_t>(n) + 1); }
    void clear() { m_items.resize(1); }
    void reserve(int32_t n) { m_items.reserve(static_cast<size_t>(n) + 1); }

    // Iteration covers entries 1 to count().
    auto begin() { return m_items.begin() + 1; }
    auto end() { return m_items.end(); }
    auto begin() const { return m_items.begin() + 1; }
    auto end() const { return m_items.end(); }

private:
    std::vector<T> m_items;
};

} // namespace ptw3
