#pragma once

// What the WASAPI sound output and the cable check's WASAPI capture share.

#include <windows.h>

#include <audioclient.h>

// Stream flags mingw-w64's headers do not all define yet.
#ifndef AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM
#define AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM 0x80000000
#endif
#ifndef AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY
#define AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY 0x08000000
#endif

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
