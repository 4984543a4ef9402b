#include "support/TestAuthority.h"

#include <windows.h>

#include <wincrypt.h>

#include "support/TestFiles.h"

namespace netrefit::test {
namespace {

void RemoveSameSubject(HCERTSTORE store, PCCERT_CONTEXT certificate) {
    PCCERT_CONTEXT found = nullptr;
    while ((found =
                ::CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_NAME,
                                             &certificate->pCertInfo->Subject, found)) != nullptr) {
        // Deleting frees the context it is given, so the search starts again from the top.
        ::CertDeleteCertificateFromStore(::CertDuplicateCertificateContext(found));
        ::CertFreeCertificateContext(found);
        found = nullptr;
    }
}

}  // namespace

bool TrustTestAuthority(const std::string& derFile) {
    std::string der;
    if (!ReadFileBytes(derFile, &der) || der.empty()) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const BYTE*>(der.data());
    PCCERT_CONTEXT certificate =
        ::CertCreateCertificateContext(X509_ASN_ENCODING, bytes, static_cast<DWORD>(der.size()));
    if (certificate == nullptr) {
        return false;
    }
    HCERTSTORE store = ::CertOpenSystemStoreA(0, "Root");
    if (store != nullptr) {
        RemoveSameSubject(store, certificate);
        ::CertCloseStore(store, 0);
    }
    ::CertFreeCertificateContext(certificate);
    return ::CertAddEncodedCertificateToSystemStoreA("Root", bytes,
                                                     static_cast<DWORD>(der.size())) != FALSE;
}

}  // namespace netrefit::test
