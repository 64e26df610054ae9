// Certificates, trust and CRLs placed into one NSS database through the NSS library, with the
// trust and nicknames that certutil would give them. Trust is read and written as the
// database's own trust objects: the library's view of a certificate merges all open databases.
#include "stores/posix/NssDatabase.h"

#include "runtime/Owned.h"

#include <cert.h>
#include <certdb.h>
#include <keyhi.h>
#include <pk11pub.h>
#include <pkcs11.h>
#include <pkcs11n.h>
#include <prerror.h>
#include <secder.h>
#include <secerr.h>
#include <secmod.h>
#include <secoid.h>

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <type_traits>
#include <unistd.h>
#include <vector>

namespace platform::nss {

void Check(bool succeeded) {
    if (succeeded)
        return;
    const PRErrorCode error = PORT_GetError();
    throw NssError(static_cast<uint32_t>(error != 0 ? error : SEC_ERROR_LIBRARY_FAILURE));
}

namespace {

using CrlPtr = Owned<CERTSignedCrl, SEC_DestroyCrl>;
using ObjectsPtr = Owned<PK11GenericObject, PK11_DestroyGenericObjects>;

void FreeWholeItem(SECItem* item) {
    SECITEM_FreeItem(item, PR_TRUE);
}
// An item whose data NSS allocated, in a SECItem of the caller's.
void FreeItemData(SECItem* item) {
    SECITEM_FreeItem(item, PR_FALSE);
}
using SubjectKeyInfoPtr = Owned<CERTSubjectPublicKeyInfo, SECKEY_DestroySubjectPublicKeyInfo>;
using PublicKeyPtr = Owned<SECKEYPublicKey, SECKEY_DestroyPublicKey>;

SECItem Item(const std::string& bytes) {
    return {siBuffer, reinterpret_cast<unsigned char*>(const_cast<char*>(bytes.data())),
            static_cast<unsigned>(bytes.size())};
}

std::string Bytes(const SECItem& item) {
    return {reinterpret_cast<const char*>(item.data), item.len};
}

// An attribute of a token object; none when it has none.
std::optional<std::string> Attribute(PK11GenericObject* object, CK_ATTRIBUTE_TYPE type) {
    SECItem value{};
    if (PK11_ReadRawAttribute(PK11_TypeGeneric, object, type, &value) != SECSuccess)
        return std::nullopt;
    const Owned<SECItem, FreeItemData> read(&value);
    return Bytes(value);
}

std::string Digest(SECOidTag algorithm, const std::string& der, size_t length) {
    std::string digest(length, '\0');
    Check(PK11_HashBuf(algorithm, reinterpret_cast<unsigned char*>(digest.data()),
                       reinterpret_cast<const unsigned char*>(der.data()),
                       static_cast<PRInt32>(der.size())) == SECSuccess);
    return digest;
}

// An attribute of an object to make, over a value that outlives the making; the making only
// reads it.
template <class T> CK_ATTRIBUTE Field(CK_ATTRIBUTE_TYPE type, const T& value) {
    if constexpr (std::is_same_v<T, std::string>)
        return {type, const_cast<char*>(value.data()), value.size()};
    else
        return {type, const_cast<T*>(&value), sizeof value};
}
template <class T> CK_ATTRIBUTE Field(CK_ATTRIBUTE_TYPE, const T&&) = delete;

// An object made on the database's token. Objects are made as NSS makes its own, but through
// the token alone: the library's own import would look the certificate up in every open
// database, for each database.
void CreateObject(PK11SlotInfo* slot, CK_ATTRIBUTE* attributes, int count) {
    PK11GenericObject* created = PK11_CreateGenericObject(slot, attributes, count, PR_TRUE);
    Check(created != nullptr);
    PK11_DestroyGenericObject(created);
}

// The token objects of that class whose value is exactly these bytes; not the session objects
// of the run, which no other program sees.
std::vector<CK_OBJECT_HANDLE> ObjectsOfValue(PK11SlotInfo* slot, CK_OBJECT_CLASS type,
                                             const std::string& value) {
    static const std::string onToken(1, static_cast<char>(CK_TRUE));
    std::vector<CK_OBJECT_HANDLE> found;
    const ObjectsPtr objects(PK11_FindGenericObjects(slot, type));
    for (PK11GenericObject* object = objects.get(); object;
         object = PK11_GetNextGenericObject(object))
        if (Attribute(object, CKA_VALUE) == value && Attribute(object, CKA_TOKEN) == onToken)
            found.push_back(PK11_GetObjectHandle(PK11_TypeGeneric, object, nullptr));
    return found;
}

void DestroyObject(PK11SlotInfo* slot, CK_OBJECT_HANDLE object) {
    Check(PK11_DestroyTokenObject(slot, object) == SECSuccess);
}

// A certificate's trust in one database, one level for each use, as NSS keeps it.
struct Trust {
    static constexpr std::array<CK_ATTRIBUTE_TYPE, 4> kUses{
        CKA_TRUST_SERVER_AUTH, CKA_TRUST_CLIENT_AUTH, CKA_TRUST_EMAIL_PROTECTION,
        CKA_TRUST_CODE_SIGNING};
    std::array<CK_TRUST, 4> levels{CKT_NSS_MUST_VERIFY_TRUST, CKT_NSS_MUST_VERIFY_TRUST,
                                   CKT_NSS_MUST_VERIFY_TRUST, CKT_NSS_MUST_VERIFY_TRUST};
    bool operator==(const Trust&) const = default;

    bool AuthorityForServers() const { return levels[0] == CKT_NSS_TRUSTED_DELEGATOR; }

    // "C,C,C" added: a trusted authority for TLS servers, e-mail and code signing, whatever
    // the certificate is trusted for besides. A use the user has distrusted it for ("p")
    // stays distrusted; a use with no trust of its own (client authentication) becomes a
    // valid authority, as certutil sets it.
    Trust AsAuthority() const {
        Trust wanted = *this;
        for (size_t use = 0; use < kUses.size(); ++use) {
            CK_TRUST& level = wanted.levels[use];
            const bool unset = level == CKT_NSS_MUST_VERIFY_TRUST || level == CKT_NSS_TRUST_UNKNOWN;
            if (kUses[use] == CKA_TRUST_CLIENT_AUTH)
                level = unset ? CKT_NSS_VALID_DELEGATOR : level;
            else if (level != CKT_NSS_NOT_TRUSTED)
                level = CKT_NSS_TRUSTED_DELEGATOR;
        }
        return wanted;
    }
};

// A session of the token's own, for what the library does not do: finding an object by some
// of its attributes, and reading and writing attributes of an object known by its handle. The
// library finds objects by their class alone, and reading an attribute of each is a database
// query of its own: a search over every trust object for each certificate made the adds into
// a fresh database, and the looks into a full one, cost the square of their number. One
// session serves all the looks and changes of one add.
class TokenSession {
public:
    explicit TokenSession(PK11SlotInfo* slot, CK_FLAGS flags = 0)
        : token_(static_cast<CK_FUNCTION_LIST*>(PK11_GetModule(slot)->functionList)) {
        Succeed(token_->C_OpenSession(PK11_GetSlotID(slot), CKF_SERIAL_SESSION | flags, nullptr,
                                      nullptr, &session_));
    }
    ~TokenSession() { token_->C_CloseSession(session_); }
    TokenSession(const TokenSession&) = delete;
    TokenSession& operator=(const TokenSession&) = delete;

    // Every object with all of the attributes.
    template <size_t N> std::vector<CK_OBJECT_HANDLE> Find(CK_ATTRIBUTE (&attributes)[N]) {
        Succeed(token_->C_FindObjectsInit(session_, attributes, N));
        // Taken in rounds until one comes back short.
        std::vector<CK_OBJECT_HANDLE> objects;
        CK_RV result = CKR_OK;
        std::array<CK_OBJECT_HANDLE, 64> some{};
        for (CK_ULONG found = some.size(); result == CKR_OK && found == some.size();) {
            result = token_->C_FindObjects(session_, some.data(), some.size(), &found);
            objects.insert(objects.end(), some.begin(), some.begin() + (result ? 0 : found));
        }
        token_->C_FindObjectsFinal(session_);
        Succeed(result);
        return objects;
    }
    // False when the object has no such attribute, or one of another size.
    template <class T> bool Read(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type, T& value) {
        CK_ATTRIBUTE attribute{type, &value, sizeof value};
        return token_->C_GetAttributeValue(session_, object, &attribute, 1) == CKR_OK &&
               attribute.ulValueLen == sizeof value;
    }
    // An attribute of any length; none when the object has no such attribute.
    std::optional<std::string> Read(CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type) {
        CK_ATTRIBUTE attribute{type, nullptr, 0};
        if (token_->C_GetAttributeValue(session_, object, &attribute, 1) != CKR_OK ||
            attribute.ulValueLen == CK_UNAVAILABLE_INFORMATION)
            return std::nullopt;
        std::string value(attribute.ulValueLen, '\0');
        attribute.pValue = value.data();
        if (token_->C_GetAttributeValue(session_, object, &attribute, 1) != CKR_OK)
            return std::nullopt;
        return value;
    }
    // NSS still writes each attribute in a transaction of its own.
    template <size_t N> void Write(CK_OBJECT_HANDLE object, CK_ATTRIBUTE (&attributes)[N]) {
        Succeed(token_->C_SetAttributeValue(session_, object, attributes, N));
    }

private:
    static void Succeed(CK_RV result) {
        if (result != CKR_OK)
            throw NssError(static_cast<uint32_t>(SEC_ERROR_UNKNOWN_PKCS11_ERROR));
    }
    CK_FUNCTION_LIST* token_;
    CK_SESSION_HANDLE session_ = 0;
};

Trust ReadTrust(TokenSession& session, CK_OBJECT_HANDLE object) {
    Trust trust;
    for (size_t use = 0; use < Trust::kUses.size(); ++use)
        if (CK_TRUST level = 0; session.Read(object, Trust::kUses[use], level))
            trust.levels[use] = level;
    return trust;
}

// The token's objects of the class.
std::vector<CK_OBJECT_HANDLE> ObjectsOfClass(TokenSession& session, CK_OBJECT_CLASS type) {
    const CK_BBOOL onToken = CK_TRUE;
    CK_ATTRIBUTE wanted[] = {Field(CKA_CLASS, type), Field(CKA_TOKEN, onToken)};
    return session.Find(wanted);
}

// Every trust the database holds, by the certificates' SHA-1 digests.
std::map<std::string, Trust> TrustsIn(TokenSession& session) {
    std::map<std::string, Trust> trusts;
    for (const CK_OBJECT_HANDLE object : ObjectsOfClass(session, CKO_NSS_TRUST))
        if (const auto sha1 = session.Read(object, CKA_CERT_SHA1_HASH))
            trusts.emplace(*sha1, ReadTrust(session, object));
    return trusts;
}

// The bytes of every certificate the database holds.
std::set<std::string> CertificatesIn(TokenSession& session) {
    std::set<std::string> certificates;
    for (const CK_OBJECT_HANDLE object : ObjectsOfClass(session, CKO_CERTIFICATE))
        if (auto der = session.Read(object, CKA_VALUE))
            certificates.insert(std::move(*der));
    return certificates;
}

// The database's trust object for the certificate, found by its SHA-1 digest, or none.
class TrustObject {
public:
    TrustObject(TokenSession& session, const std::string& der) : session_(session) {
        const std::string sha1 = Digest(SEC_OID_SHA1, der, 20);
        const CK_OBJECT_CLASS trustClass = CKO_NSS_TRUST;
        const CK_BBOOL onToken = CK_TRUE;
        CK_ATTRIBUTE wanted[] = {Field(CKA_CLASS, trustClass), Field(CKA_TOKEN, onToken),
                                 Field(CKA_CERT_SHA1_HASH, sha1)};
        const std::vector<CK_OBJECT_HANDLE> found = session.Find(wanted);
        handle_ = found.empty() ? CK_INVALID_HANDLE : found.front();
    }
    bool Found() const { return handle_ != CK_INVALID_HANDLE; }
    CK_OBJECT_HANDLE Handle() const { return handle_; }

    Trust Read() const { return Found() ? ReadTrust(session_, handle_) : Trust{}; }
    void Write(const Trust& trust) const {
        CK_ATTRIBUTE levels[] = {
            Field(Trust::kUses[0], trust.levels[0]), Field(Trust::kUses[1], trust.levels[1]),
            Field(Trust::kUses[2], trust.levels[2]), Field(Trust::kUses[3], trust.levels[3])};
        session_.Write(handle_, levels);
    }

private:
    TokenSession& session_;
    CK_OBJECT_HANDLE handle_ = CK_INVALID_HANDLE;
};

// The token's certificates whose attribute has exactly this value.
std::vector<CK_OBJECT_HANDLE> CertificatesWith(TokenSession& session, CK_ATTRIBUTE_TYPE type,
                                               const std::string& value) {
    const CK_OBJECT_CLASS certificateClass = CKO_CERTIFICATE;
    const CK_BBOOL onToken = CK_TRUE;
    CK_ATTRIBUTE wanted[] = {Field(CKA_CLASS, certificateClass), Field(CKA_TOKEN, onToken),
                             Field(type, value)};
    return session.Find(wanted);
}

// Whether the token holds a certificate of exactly these bytes, looked up among those of its
// subject: the library would look the certificate up in every open database.
bool HoldsCertificate(TokenSession& session, const Certificate& certificate) {
    const auto found = CertificatesWith(session, CKA_SUBJECT, certificate.subject);
    return std::any_of(found.begin(), found.end(), [&](CK_OBJECT_HANDLE object) {
        return session.Read(object, CKA_VALUE) == certificate.der;
    });
}

// Whether a certificate of another subject has the nickname in the token. The library's own
// search by nickname makes certificate objects of the library, whose trust it looks up in every
// open database.
bool NicknameTaken(TokenSession& session, const std::string& nickname, const std::string& subject) {
    const auto found = CertificatesWith(session, CKA_LABEL, nickname);
    return std::any_of(found.begin(), found.end(), [&](CK_OBJECT_HANDLE object) {
        return session.Read(object, CKA_SUBJECT) != subject;
    });
}

// A new trust object, made as NSS makes its own: found by issuer and serial number, or by
// the certificate's digests.
void CreateTrust(PK11SlotInfo* slot, const Certificate& certificate, const Trust& trust) {
    const std::string sha1 = Digest(SEC_OID_SHA1, certificate.der, 20),
                      md5 = Digest(SEC_OID_MD5, certificate.der, 16);
    const CK_OBJECT_CLASS trustClass = CKO_NSS_TRUST;
    const CK_BBOOL onToken = CK_TRUE, stepUp = CK_FALSE;
    CK_ATTRIBUTE attributes[] = {
        Field(CKA_CLASS, trustClass),
        Field(CKA_TOKEN, onToken),
        Field(CKA_ISSUER, certificate.issuer),
        Field(CKA_SERIAL_NUMBER, certificate.serialNumber),
        Field(CKA_CERT_SHA1_HASH, sha1),
        Field(CKA_CERT_MD5_HASH, md5),
        Field(CKA_TRUST_STEP_UP_APPROVED, stepUp),
        Field(Trust::kUses[0], trust.levels[0]),
        Field(Trust::kUses[1], trust.levels[1]),
        Field(Trust::kUses[2], trust.levels[2]),
        Field(Trust::kUses[3], trust.levels[3]),
    };
    CreateObject(slot, attributes, sizeof attributes / sizeof *attributes);
}

// The identifier NSS gives a certificate, by which it pairs it with its private key: the
// SHA-1 digest of the public key's value (an RSA key's modulus).
std::string KeyIdentifier(const std::string& publicKeyInfo) {
    SECItem item = Item(publicKeyInfo);
    const SubjectKeyInfoPtr info(SECKEY_DecodeDERSubjectPublicKeyInfo(&item));
    Check(info != nullptr);
    const PublicKeyPtr key(SECKEY_ExtractPublicKey(info.get()));
    Check(key != nullptr);
    const SECItem* value = key->keyType == rsaKey   ? &key->u.rsa.modulus
                           : key->keyType == ecKey  ? &key->u.ec.publicValue
                           : key->keyType == dsaKey ? &key->u.dsa.publicValue
                                                    : nullptr;
    const Owned<SECItem, FreeWholeItem> id(
        value ? PK11_MakeIDFromPubKey(const_cast<SECItem*>(value)) : nullptr);
    Check(id != nullptr);
    return Bytes(*id);
}

// The name itself, or, when a certificate of another subject has it in this database, the
// name with " #2", " #3" and so on, as NSS numbers the nicknames it makes for authorities.
// Certificates of one subject share a nickname in NSS.
std::string UniqueNickname(TokenSession& session, const std::string& name,
                           const std::string& subject) {
    std::string nickname = name;
    for (int n = 2; !name.empty() && NicknameTaken(session, nickname, subject); ++n)
        nickname = name + " #" + std::to_string(n);
    return nickname;
}

void Import(PK11SlotInfo* slot, TokenSession& session, const Certificate& added) {
    const std::string nickname = UniqueNickname(session, added.nickname, added.subject),
                      id = KeyIdentifier(added.publicKeyInfo);
    const CK_OBJECT_CLASS certificateClass = CKO_CERTIFICATE;
    const CK_CERTIFICATE_TYPE type = CKC_X_509;
    const CK_BBOOL onToken = CK_TRUE;
    CK_ATTRIBUTE attributes[] = {
        Field(CKA_CLASS, certificateClass), Field(CKA_TOKEN, onToken),
        Field(CKA_CERTIFICATE_TYPE, type),  Field(CKA_ID, id),
        Field(CKA_VALUE, added.der),        Field(CKA_ISSUER, added.issuer),
        Field(CKA_SUBJECT, added.subject),  Field(CKA_SERIAL_NUMBER, added.serialNumber),
        Field(CKA_LABEL, nickname),
    };
    // A certificate without a name has no label at all, as NSS imports one.
    const int count = sizeof attributes / sizeof *attributes - (nickname.empty() ? 1 : 0);
    CreateObject(slot, attributes, count);
}

// The CRL's thisUpdate.
PRTime IssuedAt(const CERTCrl& crl) {
    PRTime time = 0;
    Check(DER_DecodeTimeChoice(&time, &crl.lastUpdate) == SECSuccess);
    return time;
}

CrlPtr DecodedCrl(const std::string& der) {
    SECItem item = Item(der);
    CrlPtr crl(CERT_DecodeDERCrl(nullptr, &item, SEC_CRL_TYPE));
    Check(crl != nullptr);
    return crl;
}

// The thisUpdate of the newest CRL of each issuer among the CRL objects, by the issuers' names.
// An object that does not read as a CRL is no issuer's, and must not keep the database from
// taking anything else.
std::map<std::string, PRTime> NewestCrls(PK11GenericObject* objects) {
    std::map<std::string, PRTime> newest;
    for (PK11GenericObject* object = objects; object; object = PK11_GetNextGenericObject(object)) {
        const auto issuer = Attribute(object, CKA_SUBJECT), value = Attribute(object, CKA_VALUE);
        SECItem der = value ? Item(*value) : SECItem{};
        const CrlPtr crl(value ? CERT_DecodeDERCrl(nullptr, &der, SEC_CRL_TYPE) : nullptr);
        PRTime issued = 0;
        if (!issuer || !crl || DER_DecodeTimeChoice(&issued, &crl->crl.lastUpdate) != SECSuccess)
            continue;
        const auto at = newest.emplace(*issuer, issued).first;
        at->second = std::max(at->second, issued);
    }
    return newest;
}

// Whether no CRL of the issuer is as new as this one.
bool Lacks(const std::map<std::string, PRTime>& newest, const CERTCrl& crl) {
    const auto held = newest.find(Bytes(crl.derName));
    return held == newest.end() || held->second < IssuedAt(crl);
}

} // namespace

namespace {

// SQLite writes its journal beside the database.
bool Writable(const std::filesystem::path& folder) {
    const std::filesystem::path database = folder / "cert9.db";
    return access(folder.c_str(), W_OK) == 0 &&
           (access(database.c_str(), F_OK) != 0 || access(database.c_str(), W_OK) == 0);
}

} // namespace

// Each looked at once, apart: a damaged CRL object must not cost the trusts their look.
struct NssDatabase::Seen {
    explicit Seen(PK11SlotInfo* looked) : slot(looked) {}
    std::map<std::string, PRTime>& NewestCrls() {
        if (!newestCrls)
            newestCrls =
                nss::NewestCrls(ObjectsPtr(PK11_FindGenericObjects(slot, CKO_NSS_CRL)).get());
        return *newestCrls;
    }
    std::map<std::string, Trust>& Trusts() {
        if (!trusts) {
            TokenSession session(slot);
            trusts = TrustsIn(session);
        }
        return *trusts;
    }
    std::set<std::string>& Certificates() {
        if (!certificates) {
            TokenSession session(slot);
            certificates = CertificatesIn(session);
        }
        return *certificates;
    }

    PK11SlotInfo* slot;
    std::optional<std::map<std::string, PRTime>> newestCrls;
    std::optional<std::map<std::string, Trust>> trusts;
    std::optional<std::set<std::string>> certificates;
};

void CloseUserDatabase(PK11SlotInfo* slot) {
    SECMOD_CloseUserDB(slot);
    PK11_FreeSlot(slot);
}

NssDatabase::NssDatabase(const std::filesystem::path& folder, const std::string& tokenName) {
    // NSS opens a database it may not write to for nothing at all, unless it is asked to
    // read it only; what it holds already is still seen.
    const std::string parameters = "configdir='sql:" + folder.string() + "' tokenDescription='" +
                                   tokenName + "'" + (Writable(folder) ? "" : " flags=readOnly");
    slot_.reset(SECMOD_OpenUserDB(parameters.c_str()));
    Check(slot_ != nullptr);
    if (!PK11_IsPresent(slot_.get())) {
        const PRErrorCode error = PORT_GetError();
        throw NssError(static_cast<uint32_t>(error != 0 ? error : SEC_ERROR_BAD_DATABASE));
    }
    if (PK11_NeedUserInit(slot_.get()))
        Check(PK11_InitPin(slot_.get(), nullptr, "") == SECSuccess);
}

NssDatabase::~NssDatabase() = default;

bool NssDatabase::Holds(const Certificate& certificate) {
    TokenSession session(slot_.get());
    return HoldsCertificate(session, certificate);
}

NssDatabase::Seen& NssDatabase::Looked() {
    if (!seen_)
        seen_ = std::make_unique<Seen>(slot_.get());
    return *seen_;
}

bool NssDatabase::LacksCertificate(const Certificate& certificate, bool trustedAuthority) {
    if (withheld_.count(certificate.der))
        return false;
    if (!Looked().Certificates().count(certificate.der))
        return true;
    if (!trustedAuthority)
        return false;
    const auto& trusts = Looked().Trusts();
    const auto found = trusts.find(Digest(SEC_OID_SHA1, certificate.der, 20));
    const Trust trust = found == trusts.end() ? Trust{} : found->second;
    return trust.AsAuthority() != trust;
}

// A database open for reading only says so, rather than leaving each write to fail with a
// PKCS #11 error of no meaning to the user.
void NssDatabase::CheckWritable() const {
    if (PK11_IsReadOnly(slot_.get()))
        throw NssError(static_cast<uint32_t>(SEC_ERROR_READ_ONLY));
}

void NssDatabase::AddCertificate(const Certificate& certificate, bool trustedAuthority) {
    CheckWritable();
    TokenSession session(slot_.get(), CKF_RW_SESSION);
    if (!trustedAuthority) {
        if (!HoldsCertificate(session, certificate))
            Import(slot_.get(), session, certificate);
        Looked().Certificates().insert(certificate.der);
        return;
    }
    const std::string& der = certificate.der;
    const TrustObject object(session, der);
    const Trust trust = object.Read(), wanted = trust.AsAuthority();
    // Trust in a database with a password (Firefox's primary password) is the password
    // holder's to change, and nobody is asked for it. The authority is then left out of the
    // database, by the other stores' adds too, rather than held there untrusted.
    if (wanted != trust && PK11_NeedLogin(slot_.get()) && !PK11_IsLoggedIn(slot_.get(), nullptr)) {
        withheld_.insert(der);
        throw NssError(static_cast<uint32_t>(SEC_ERROR_TOKEN_NOT_LOGGED_IN));
    }
    if (!HoldsCertificate(session, certificate))
        Import(slot_.get(), session, certificate);
    Looked().Certificates().insert(der);
    if (wanted == trust)
        return;
    if (object.Found())
        object.Write(wanted);
    else
        CreateTrust(slot_.get(), certificate, wanted);
    Looked().Trusts()[Digest(SEC_OID_SHA1, der, 20)] = wanted;
}

bool NssDatabase::LacksCrl(const std::string& der) {
    return Lacks(Looked().NewestCrls(), DecodedCrl(der)->crl);
}

void NssDatabase::AddCrl(const std::string& der) {
    const CrlPtr crl = DecodedCrl(der);
    const ObjectsPtr older(PK11_FindGenericObjects(slot_.get(), CKO_NSS_CRL));
    if (!Lacks(NewestCrls(older.get()), crl->crl))
        return;
    CheckWritable();
    // The issuer's signature is checked by whoever uses the CRL, when the issuer is known;
    // the bundle's order of CRLs and certificates does not matter here. The older CRLs of
    // the issuer go once the new one is there.
    const std::string issuer = Bytes(crl->crl.derName);
    const CK_OBJECT_CLASS crlClass = CKO_NSS_CRL;
    const CK_BBOOL onToken = CK_TRUE, revocationList = CK_FALSE;
    CK_ATTRIBUTE attributes[] = {
        Field(CKA_CLASS, crlClass),
        Field(CKA_TOKEN, onToken),
        Field(CKA_SUBJECT, issuer),
        Field(CKA_VALUE, der),
        Field(CKA_NSS_KRL, revocationList),
        // NSS lists only CRLs that say where they came from, if only with an empty URL.
        {CKA_NSS_URL, nullptr, 0},
    };
    CreateObject(slot_.get(), attributes, sizeof attributes / sizeof *attributes);
    for (PK11GenericObject* object = older.get(); object;
         object = PK11_GetNextGenericObject(object))
        if (Attribute(object, CKA_SUBJECT) == issuer)
            PK11_DestroyTokenObject(slot_.get(),
                                    PK11_GetObjectHandle(PK11_TypeGeneric, object, nullptr));
    Looked().NewestCrls()[issuer] = IssuedAt(crl->crl);
}

bool NssDatabase::TrustsAsAuthority(const Certificate& certificate) {
    TokenSession session(slot_.get());
    return TrustObject(session, certificate.der).Read().AuthorityForServers();
}

bool NssDatabase::HoldsCrl(const std::string& der) {
    return !ObjectsOfValue(slot_.get(), CKO_NSS_CRL, der).empty();
}

// The trust goes too, first, as NSS deletes a certificate: left behind, it would still make an
// authority of the certificate wherever it came from, a server's chain say.
void NssDatabase::DeleteCertificate(const Certificate& certificate) {
    CheckWritable();
    seen_.reset();
    TokenSession session(slot_.get());
    const TrustObject trust(session, certificate.der);
    if (trust.Found())
        DestroyObject(slot_.get(), trust.Handle());
    for (const CK_OBJECT_HANDLE object :
         ObjectsOfValue(slot_.get(), CKO_CERTIFICATE, certificate.der))
        DestroyObject(slot_.get(), object);
}

void NssDatabase::DeleteCrl(const std::string& der) {
    CheckWritable();
    seen_.reset();
    for (const CK_OBJECT_HANDLE object : ObjectsOfValue(slot_.get(), CKO_NSS_CRL, der))
        DestroyObject(slot_.get(), object);
}

} // namespace platform::nss
