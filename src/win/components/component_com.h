// The COM face of our components: the container writer (ICVMailExport) and
// the e-mail object (ICVEMail), dual interfaces whose IDispatch is driven
// by the DLL's type library, each over its portable object. Both are
// registered "Both" and aggregate the free-threaded marshaler: the writer
// that Outlook's UI thread made is called from the job's worker directly,
// so compressing and hashing never run on the UI thread. The writer takes
// calls from one thread at a time.
#pragma once

#include <windows.h>

#include "cvmailcomponents.h"
#include "win/com/com_ptr.h"

namespace CV::Win::Components {

// The instance for a class factory: E_OUTOFMEMORY, E_NOINTERFACE or the
// failure of loading the type library.
::HRESULT CreateMailExport(REFIID riid, void** ppv);
::HRESULT CreateEMail(REFIID riid, void** ppv);
::HRESULT CreateMailSelect(REFIID riid, void** ppv);
::HRESULT CreateFolderSelect(REFIID riid, void** ppv);

// The type information of an interface or class of the DLL's type library.
::HRESULT TypeInfoOf(REFGUID guid, ComPtr<ITypeInfo>& out);

}  // namespace CV::Win::Components
