// The second program of WindowsFilesTest.AnotherProgramsRegistrationWaitsForTheLock: it says it is about
// to register, then appends " 2 cd 2 " to the list it is given. Exit code 0 once the record is written.
#include <windows.h>

#include <string>

#include "platform/files.h"
#include "platform/win32/win32_handle.h"

int wmain(int argc, wchar_t** argv) {
    using namespace pelorin;
    if (argc != 2) return 2;
    Win32Handle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, L"PelorinSecondProgramReady"));
    if (ready.Get() == nullptr || !SetEvent(ready.Get())) return 3;
    AppendResult result = AppendIfAccepted(Utf8FromWide(argv[1]), [](const std::string&) { return true; }, " 2 cd 2 \r\n");
    return result.status == AppendResult::Status::Written ? 0 : 1;
}
