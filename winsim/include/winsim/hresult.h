// COM result codes (HRESULT) with their Windows values, and the macros that build and test them.
#pragma once

#include <winsim/base_types.h>

#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

#define FACILITY_WIN32 7
#define HRESULT_FROM_WIN32(x)                                                                 \
    ((HRESULT)(x) <= 0 ? (HRESULT)(x)                                                         \
                       : (HRESULT)(((x) & 0x0000FFFF) | (FACILITY_WIN32 << 16) | 0x80000000u))

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001u)
#define E_NOINTERFACE ((HRESULT)0x80004002u)
#define E_POINTER ((HRESULT)0x80004003u)
#define E_ABORT ((HRESULT)0x80004004u)
#define E_FAIL ((HRESULT)0x80004005u)
#define E_UNEXPECTED ((HRESULT)0x8000FFFFu)
#define E_ACCESSDENIED ((HRESULT)0x80070005u)
#define E_HANDLE ((HRESULT)0x80070006u)
#define E_OUTOFMEMORY ((HRESULT)0x8007000Eu)
#define E_INVALIDARG ((HRESULT)0x80070057u)
#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106u)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0u)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110u)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154u)
#define STG_E_FILENOTFOUND ((HRESULT)0x80030002u)
#define STG_E_PATHNOTFOUND ((HRESULT)0x80030003u)
