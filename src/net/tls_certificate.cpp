#include "net/tls_certificate.h"

#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <ctime>
#include <memory>
#include <string_view>

#include "common/error.h"
#include "platform/file_system.h"
#include "platform/socket_address.h"

namespace vantrel {
namespace {

template <auto Free>
struct Deleter {
  template <typename T>
  void operator()(T* object) const {
    Free(object);
  }
};
using Bio = std::unique_ptr<BIO, Deleter<BIO_free_all>>;
using Certificate = std::unique_ptr<X509, Deleter<X509_free>>;
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using BigNumber = std::unique_ptr<BIGNUM, Deleter<BN_free>>;
using GeneralNames = std::unique_ptr<GENERAL_NAMES, Deleter<GENERAL_NAMES_free>>;
using GeneralName = std::unique_ptr<GENERAL_NAME, Deleter<GENERAL_NAME_free>>;
using Constraints = std::unique_ptr<BASIC_CONSTRAINTS, Deleter<BASIC_CONSTRAINTS_free>>;

constexpr unsigned kKeyMode = 0600;
constexpr unsigned kCertificateMode = 0644;
constexpr int kSerialBits = 159;  // positive and at most 20 bytes, as issuers must
constexpr std::size_t kMaxCommonName = 64;

// Key material read or written passes through here and is wiped when it goes.
struct SecretText {
  std::string text;
  ~SecretText() { OPENSSL_cleanse(text.data(), text.size()); }
};

// Throws Error("cannot create the certificate (<what>: <library reason>)").
[[noreturn]] void Fail(const std::string& what) {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  std::string reason = what;
  if (const char* text = code ? ERR_reason_error_string(code) : nullptr)
    reason += std::string(": ") + text;
  throw Error("cannot create the certificate (" + reason + ")");
}

void Require(bool ok, const char* what) {
  if (!ok)
    Fail(what);
}

std::string ReadFile(const std::string& path) {
  try {
    return platform::ReadExistingFile(path);
  } catch (const platform::FileError& error) {
    throw Error(error.what());
  }
}

Bio MemoryBio(std::string_view bytes) {
  Bio bio(BIO_new_mem_buf(bytes.data(), static_cast<int>(bytes.size())));
  if (!bio)
    throw Error("out of memory");
  return bio;
}

// Fills in the pass phrase OpenSSL asks for: none, but note that one was wanted.
int RefusePassphrase(char* /*buffer*/, int /*size*/, int /*writing*/, void* asked) {
  *static_cast<bool*>(asked) = true;
  return -1;
}

Certificate ReadCertificate(const std::string& path) {
  const std::string pem = ReadFile(path);
  Certificate certificate(PEM_read_bio_X509(MemoryBio(pem).get(), nullptr, nullptr, nullptr));
  ERR_clear_error();
  if (!certificate)
    throw Error("not a PEM certificate");
  return certificate;
}

Key ReadKey(const std::string& path) {
  const SecretText pem{ReadFile(path)};
  bool asked = false;
  Key key(PEM_read_bio_PrivateKey(MemoryBio(pem.text).get(), nullptr, RefusePassphrase, &asked));
  ERR_clear_error();
  if (!key && asked)
    throw Error("the private key is protected by a passphrase");
  if (!key)
    throw Error("not a PEM private key");
  return key;
}

// What a certificate may name: a DNS name (wildcards included) or an address literal,
// short enough for the subject's common name.
void CheckHostName(const std::string& host_name) {
  const bool usable = !host_name.empty() && host_name.size() <= kMaxCommonName &&
                      host_name.find_first_not_of(
                          "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                          "0123456789.-_*:") == std::string::npos;
  if (!usable)
    throw Error("cannot create the certificate (\"" + host_name + "\" is not a host name)");
}

GeneralName AlternativeName(const std::string& host_name) {
  GeneralName name(GENERAL_NAME_new());
  Require(name != nullptr, "out of memory");
  if (platform::NumericAddressVersion(host_name)) {
    ASN1_OCTET_STRING* address = a2i_IPADDRESS(host_name.c_str());
    Require(address != nullptr, "subjectAltName");
    GENERAL_NAME_set0_value(name.get(), GEN_IPADD, address);
    return name;
  }
  ASN1_IA5STRING* dns = ASN1_IA5STRING_new();
  Require(dns != nullptr &&
              ASN1_STRING_set(dns, host_name.data(), static_cast<int>(host_name.size())) == 1,
          "subjectAltName");
  GENERAL_NAME_set0_value(name.get(), GEN_DNS, dns);
  return name;
}

void AddExtensions(X509* certificate, const std::string& host_name) {
  GeneralNames names(sk_GENERAL_NAME_new_null());
  GeneralName name = AlternativeName(host_name);
  Require(names && sk_GENERAL_NAME_push(names.get(), name.get()) > 0, "subjectAltName");
  name.release();  // the stack owns it now
  Require(
      X509_add1_ext_i2d(certificate, NID_subject_alt_name, names.get(), 0, X509V3_ADD_DEFAULT) == 1,
      "subjectAltName");
  Constraints constraints(BASIC_CONSTRAINTS_new());
  Require(constraints != nullptr, "out of memory");
  constraints->ca = 0;  // a leaf: it may not vouch for other certificates
  Require(X509_add1_ext_i2d(certificate, NID_basic_constraints, constraints.get(), 1,
                            X509V3_ADD_DEFAULT) == 1,
          "basicConstraints");
}

// Ten calendar years from now; 29 February becomes the 28th.
std::time_t TenYearsFromNow() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const auto today = floor<days>(now);
  year_month_day date = year_month_day(today) + years(10);
  if (!date.ok())
    date = date.year() / date.month() / last;
  return system_clock::to_time_t(sys_days(date) + (now - today));
}

void SetIdentity(X509* certificate, const std::string& host_name) {
  Require(X509_set_version(certificate, X509_VERSION_3) == 1, "version");
  BigNumber serial(BN_new());
  Require(serial && BN_rand(serial.get(), kSerialBits, BN_RAND_TOP_ONE, BN_RAND_BOTTOM_ANY) == 1 &&
              BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate)) != nullptr,
          "serial number");
  Require(X509_gmtime_adj(X509_getm_notBefore(certificate), 0) != nullptr &&
              ASN1_TIME_set(X509_getm_notAfter(certificate), TenYearsFromNow()) != nullptr,
          "validity");
  X509_NAME* subject = X509_get_subject_name(certificate);
  Require(X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                                     reinterpret_cast<const unsigned char*>(host_name.c_str()), -1,
                                     -1, 0) == 1 &&
              X509_set_issuer_name(certificate, subject) == 1,
          "subject");
}

Certificate SelfSigned(EVP_PKEY* key, const std::string& host_name) {
  Certificate certificate(X509_new());
  Require(certificate != nullptr, "out of memory");
  SetIdentity(certificate.get(), host_name);
  AddExtensions(certificate.get(), host_name);
  Require(X509_set_pubkey(certificate.get(), key) == 1, "public key");
  Require(X509_sign(certificate.get(), key, EVP_sha256()) > 0, "signature");
  return certificate;
}

template <typename Write>
std::string PemText(Write write) {
  Bio bio(BIO_new(BIO_s_mem()));
  Require(bio && write(bio.get()) == 1, "PEM encoding");
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(size));
}

void Replace(const std::string& path, std::string_view content, unsigned mode) {
  try {
    platform::ReplaceFileWithMode(path, content, mode);
  } catch (const platform::FileError& error) {
    throw Error(error.what());
  }
}

}  // namespace

void CreateSelfSigned(const std::string& cert_path, const std::string& key_path,
                      const std::string& host_name) {
  CheckHostName(host_name);
  const Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
  Require(key != nullptr, "key generation");
  const Certificate certificate = SelfSigned(key.get(), host_name);
  const SecretText key_pem{PemText([&](BIO* bio) {
    return PEM_write_bio_PrivateKey(bio, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
  })};
  const std::string certificate_pem =
      PemText([&](BIO* bio) { return PEM_write_bio_X509(bio, certificate.get()); });
  Replace(key_path, key_pem.text, kKeyMode);
  Replace(cert_path, certificate_pem, kCertificateMode);
}

std::string Sha256Fingerprint(const std::string& cert_path) {
  const Certificate certificate = ReadCertificate(cert_path);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (X509_digest(certificate.get(), EVP_sha256(), digest, &length) != 1) {
    ERR_clear_error();
    throw Error("cannot digest the certificate " + cert_path);
  }
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned int i = 0; i < length; ++i) {
    if (i > 0)
      text += ':';
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 0xF];
  }
  return text;
}

std::optional<std::string> CheckPemPair(const std::string& cert_path, const std::string& key_path) {
  try {
    const Certificate certificate = ReadCertificate(cert_path);
    const Key key = ReadKey(key_path);
    if (X509_check_private_key(certificate.get(), key.get()) != 1) {
      ERR_clear_error();
      return "the key does not match the certificate";
    }
  } catch (const Error& error) {
    return error.what();
  }
  return std::nullopt;
}

}  // namespace vantrel
