#pragma once
#include <cstddef>
#include <string_view>

// The names a profile file uses for a setting's values, and back.
template <class E> struct Named {
    E value;
    const char* name;
};

// The value's name; the first entry's for a value the table lacks.
template <class E, size_t N> const char* NameOf(const Named<E> (&table)[N], E value) {
    for (const Named<E>& n : table)
        if (n.value == value)
            return n.name;
    return table[0].name;
}

template <class E, size_t N>
bool ValueOf(const Named<E> (&table)[N], std::string_view name, E& out) {
    for (const Named<E>& n : table) {
        if (name == n.name) {
            out = n.value;
            return true;
        }
    }
    return false;
}
