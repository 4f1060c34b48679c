#pragma once

namespace pelorin {

// Holds a COM interface and releases it when it goes; &com hands out the slot a Create or Get call fills.
template <class T>
struct Com {
    T* p = nullptr;
    Com() = default;
    ~Com() {
        if (p != nullptr) p->Release();
    }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T** operator&() { return &p; }
    T* operator->() const { return p; }
};

}  // namespace pelorin
