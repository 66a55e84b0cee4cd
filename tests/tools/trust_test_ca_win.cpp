// Makes WinHTTP trust the loopback test service: adds the CA certificate of a PEM file to
// the local machine's ROOT store. Meant for the throw-away Wine prefix that
// scripts/run-windows-tests.sh and bench/run create; never run it on a real machine.
//   tallybell-trust-test-ca <ca.pem>     exits 0 when the certificate is in the store
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int wmain(int 参数数, wchar_t** 参数) {
  std::string 文本;
  if (参数数 == 2) {
    std::ifstream 文件(std::filesystem::path(参数[1]), std::ios::binary);
    文本.assign(std::istreambuf_iterator<char>(文件), std::istreambuf_iterator<char>());
  }
  if (文本.empty()) {
    std::fprintf(stderr, "usage: tallybell-trust-test-ca <readable ca.pem>\n");
    return 2;
  }
  DWORD 大小 = 0;
  const auto 长度 = static_cast<DWORD>(文本.size());
  if (!::CryptStringToBinaryA(文本.data(), 长度, CRYPT_STRING_BASE64HEADER, nullptr, &大小, nullptr, nullptr)) {
    std::fprintf(stderr, "tallybell-trust-test-ca: no PEM certificate in the file\n");
    return 1;
  }
  std::vector<BYTE> 编码(大小);
  HCERTSTORE 存储 = nullptr;
  const bool 成功 =
      ::CryptStringToBinaryA(文本.data(), 长度, CRYPT_STRING_BASE64HEADER, 编码.data(), &大小, nullptr, nullptr) &&
      (存储 = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT")) != nullptr &&
      ::CertAddEncodedCertificateToStore(存储, X509_ASN_ENCODING, 编码.data(), 大小,
                                         CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  const DWORD 错误 = ::GetLastError();
  if (存储 != nullptr) ::CertCloseStore(存储, 0);
  if (!成功) std::fprintf(stderr, "tallybell-trust-test-ca: the ROOT store refused the certificate (%lu)\n", 错误);
  return 成功 ? 0 : 1;
}
