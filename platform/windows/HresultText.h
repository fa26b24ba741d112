// HRESULTs described for people, as Windows' FormatMessage describes them, with the code's symbolic
// name as well. Plain C++ with no Windows or DirectShow type, so the registration tool beside this
// layer and the programs of ours that report COM failures share one table.
#pragma once

#include <cstdint>
#include <string>

// An HRESULT in words and hex, for messages a person reads: "E_NOINTERFACE (0x80004002): no such
// interface supported". Codes without a name still get their hex and, for Win32 errors, the error
// number.
std::string hresultText(uint32_t hr);
// The symbolic name alone ("S_OK"), or an empty string when the code has none here.
std::string hresultName(uint32_t hr);
