// Binds the login module of the suite folder given as its argument, as the side bar does at
// start, with signatures judged like the installed program judges them. Exit code 10: bound;
// 11: not bound. A damaged SignOn.dll ends it through the damaged-file prompt instead.
#include <windows.h>

#include <optional>
#include <string>

#include "account/login_helper.h"
#include "platform/module_signature.h"
#include "platform/trust.h"
#include "tests/support/signature_trust.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  velmora::SetTrustVerifiers(&velmora::VerifyModuleSignature, &velmora::test::TrustClassBySignature);
  velmora::CLoginHelper helper;
  return helper.EnsureInitialized(argv[1]) ? 10 : 11;
}
