// CDicomLib: the program-wide holder of the GDI+ session. GDI+ is started
// when the object is made and shut down, with the token it was given, when
// the object is destroyed at the program's exit.
#pragma once

#include <windows.h>

class CDicomLib {
public:
    CDicomLib();
    ~CDicomLib();

    CDicomLib(const CDicomLib&) = delete;
    CDicomLib& operator=(const CDicomLib&) = delete;

    // The session's token; 0 when GDI+ could not be started (nothing is then shut down).
    ULONG_PTR GetToken() const { return m_token; }

private:
    ULONG_PTR m_token = 0;
};
