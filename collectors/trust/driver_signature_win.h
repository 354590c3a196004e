// Verification of one driver image: version strings, the security catalog
// that holds its hash, the embedded signature, and the signer certificate.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "collectors/trust/drivers.h"

namespace vorq {

// Fills company, description and version from the version resource.
void ReadVersionStrings(const std::wstring& path, DriverRow& row);

// The signer of a finished WinVerifyTrust state.
SignerInfo ReadSignerInfo(HANDLE stateData);

// True when a catalog holding the file's hash was found; `result` and `signer`
// are then the catalog member verification's. `hashAlgorithm` is L"SHA256" or
// null for the default.
bool VerifyCatalogSignature(const std::wstring& path, const wchar_t* hashAlgorithm, uint32_t& result, SignerInfo& signer,
                            std::wstring& catalogPath);

// WinVerifyTrust over the file's embedded signature.
uint32_t VerifyEmbeddedSignature(const std::wstring& path, SignerInfo& signer);

// The whole verification of one row.
void VerifyDriverRow(DriverRow& row, const std::wstring& path);

using DriverVerifier = void (*)(DriverRow& row, const std::wstring& path);

// Worker body: verifies rows until the shared index passes the end. Each row
// runs under its own fault guard and exception handler, so a fault or an
// exception becomes that row's failure.
void VerifyDriverSignatures(std::atomic<uint64_t>& index, std::vector<DriverRow>& rows,
                            const std::vector<std::wstring>& paths, DriverVerifier verify = &VerifyDriverRow);

}  // namespace vorq
