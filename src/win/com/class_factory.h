// The class factory of our COM servers: one per class, made by the DLL's
// DllGetClassObject with the function that creates that class. It holds
// the module while it lives and answers LockServer through the module.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace CV::Win {

// Creates one object and queries it for riid (*ppv null on failure).
using CreateObject = ::HRESULT (*)(REFIID riid, void** ppv);

// DllGetClassObject for a class that create makes: a new factory queried
// for riid.
::HRESULT GetClassFactory(CreateObject create, REFIID riid, void** ppv);

}  // namespace CV::Win
