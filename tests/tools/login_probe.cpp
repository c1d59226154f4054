// Binds the login module of the suite folder given as its argument, as the side bar does at
// start, with signatures judged like the installed program judges them. Exit code 10: bound;
// 11: not bound. A damaged SignOn.dll ends it through the damaged-file prompt instead.
//
// With "reenter <marker file>" after the folder it reads the signed-in account instead (which
// loads the suite's SignOnMgr.dll), while a timer of this thread reads it again from inside
// whatever message loop runs meanwhile and then writes the marker file: the damaged-file prompt's
// loop must let that nested read come back.
#include <windows.h>

#include <optional>
#include <string>

#include "account/account_reader.h"
#include "account/login_helper.h"
#include "platform/module_signature.h"
#include "platform/trust.h"
#include "tests/support/signature_trust.h"

namespace {

const wchar_t* g_marker = nullptr;

void CALLBACK ReadAgain(HWND, UINT, UINT_PTR timer, DWORD) {
  ::KillTimer(nullptr, timer);
  (void)velmora::ReadAccount();
  HANDLE file = ::CreateFileW(g_marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  velmora::SetTrustVerifiers(&velmora::VerifyModuleSignature, &velmora::test::TrustClassBySignature);
  if (argc >= 4 && std::wstring(argv[2]) == L"reenter") {
    g_marker = argv[3];
    ::SetTimer(nullptr, 0, 300, &ReadAgain);
    (void)velmora::ReadAccount();
    return 12;
  }
  velmora::CLoginHelper helper;
  return helper.EnsureInitialized(argv[1]) ? 10 : 11;
}
