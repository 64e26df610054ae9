#include "ZipWriter.h"

#include <zlib.h>

#include <stdexcept>

namespace test {

void Put16(std::string& out, uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

void Put32(std::string& out, uint32_t v) {
    Put16(out, static_cast<uint16_t>(v));
    Put16(out, static_cast<uint16_t>(v >> 16));
}

void Put64(std::string& out, uint64_t v) {
    Put32(out, static_cast<uint32_t>(v));
    Put32(out, static_cast<uint32_t>(v >> 32));
}

void PatchCentral32(std::string& zip, int item, size_t field, uint32_t value) {
    size_t at = zip.find("PK\x01\x02");
    for (int i = 0; i < item; ++i)
        at = zip.find("PK\x01\x02", at + 4);
    std::string bytes;
    Put32(bytes, value);
    zip.replace(at + field, 4, bytes);
}

uint32_t Crc32Of(const std::string& data) {
    return static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string RawDeflate(const std::string& data, int level, int strategy) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, strategy) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    // The bound holds for the default strategy only: the others may need more room.
    for (int result = Z_OK; result != Z_STREAM_END;) {
        if (result != Z_OK && result != Z_BUF_ERROR)
            throw std::runtime_error("deflate");
        if (z.total_out == out.size())
            out.resize(out.size() + out.size() / 8 + 64);
        z.next_out = reinterpret_cast<Bytef*>(out.data() + z.total_out);
        z.avail_out = static_cast<uInt>(out.size() - z.total_out);
        result = deflate(&z, Z_FINISH);
    }
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

Entry Folder(const std::string& name) {
    Entry folder;
    folder.name = name;
    folder.method = 0;
    folder.externalAttributes = 0x10;
    return folder;
}

namespace {

// The traditional PKWARE cipher, written out here independently of the engine's.
class Encrypter {
public:
    explicit Encrypter(const std::string& password) {
        for (char c : password)
            Update(static_cast<unsigned char>(c));
    }
    std::string Encrypt(const std::string& plain) {
        std::string out = plain;
        for (char& c : out) {
            const uint32_t temp = (keys_[2] & 0xFFFF) | 2;
            const auto p = static_cast<unsigned char>(c);
            c = static_cast<char>(p ^ static_cast<unsigned char>((temp * (temp ^ 1)) >> 8));
            Update(p);
        }
        return out;
    }

private:
    static uint32_t Step(uint32_t crc, unsigned char b) {
        return static_cast<uint32_t>(get_crc_table()[(crc ^ b) & 0xFF]) ^ (crc >> 8);
    }
    void Update(unsigned char p) {
        keys_[0] = Step(keys_[0], p);
        keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
        keys_[2] = Step(keys_[2], static_cast<unsigned char>(keys_[1] >> 24));
    }
    uint32_t keys_[3] = {0x12345678, 0x23456789, 0x34567890};
};

std::string StoredBytes(const Entry& e, uint32_t crc) {
    std::string bytes = e.payload       ? *e.payload
                        : e.method == 8 ? RawDeflate(e.data, e.level, e.strategy)
                                        : e.data;
    if (e.password.empty())
        return bytes;
    std::string header = "0123456789A";
    header += static_cast<char>(e.dataDescriptor ? e.modTime >> 8 : crc >> 24);
    return Encrypter(e.password).Encrypt(header + bytes);
}

} // namespace

std::string BuildZip(const std::vector<Entry>& entries, const Layout& layout) {
    std::string archive;
    std::string central;
    const uint32_t base = layout.offsetsIncludeStub ? static_cast<uint32_t>(layout.stub.size()) : 0;
    for (const Entry& e : entries) {
        const uint32_t crc = Crc32Of(e.data);
        const std::string stored = StoredBytes(e, crc);
        const uint16_t flags = static_cast<uint16_t>(e.flags | (e.password.empty() ? 0 : 1) |
                                                     (e.dataDescriptor ? 8 : 0));
        const uint32_t offset = base + static_cast<uint32_t>(archive.size());
        const auto compressed = static_cast<uint32_t>(stored.size());
        const auto uncompressed = static_cast<uint32_t>(e.data.size());

        Put32(archive, 0x04034B50);
        Put16(archive, e.versionNeeded);
        Put16(archive, flags);
        Put16(archive, e.method);
        Put16(archive, e.modTime);
        Put16(archive, e.modDate);
        Put32(archive, e.dataDescriptor ? 0 : crc);
        Put32(archive, e.dataDescriptor ? 0 : compressed);
        Put32(archive, e.dataDescriptor ? 0 : uncompressed);
        Put16(archive, static_cast<uint16_t>(e.name.size()));
        Put16(archive, static_cast<uint16_t>(e.localExtra.size()));
        archive += e.name + e.localExtra + stored;
        if (e.dataDescriptor) {
            Put32(archive, 0x08074B50);
            Put32(archive, crc);
            Put32(archive, compressed);
            Put32(archive, uncompressed);
        }

        std::string extra;
        if (e.zip64) {
            Put16(extra, 0x0001);
            Put16(extra, 24);
            Put64(extra, e.centralUncompressed.value_or(uncompressed));
            Put64(extra, e.centralCompressed.value_or(compressed));
            Put64(extra, offset);
        }
        extra += e.centralExtra;
        Put32(central, e.centralSignature.value_or(0x02014B50));
        Put16(central, e.versionMadeBy);
        Put16(central, e.versionNeeded);
        Put16(central, flags);
        Put16(central, e.method);
        Put16(central, e.modTime);
        Put16(central, e.modDate);
        Put32(central, e.centralCrc.value_or(crc));
        Put32(central, e.zip64 ? 0xFFFFFFFF : e.centralCompressed.value_or(compressed));
        Put32(central, e.zip64 ? 0xFFFFFFFF : e.centralUncompressed.value_or(uncompressed));
        Put16(central, static_cast<uint16_t>(e.name.size()));
        Put16(central, static_cast<uint16_t>(extra.size()));
        Put16(central, static_cast<uint16_t>(e.comment.size()));
        Put16(central, e.diskNumberStart);
        Put16(central, e.internalAttributes);
        Put32(central, e.externalAttributes);
        Put32(central, e.zip64 ? 0xFFFFFFFF : offset);
        central += e.name + extra + e.comment;
    }
    const uint32_t centralOffset =
        (layout.directoryOffsetIncludesStub ? static_cast<uint32_t>(layout.stub.size()) : base) +
        static_cast<uint32_t>(archive.size());
    archive += central;
    const auto count = static_cast<uint16_t>(entries.size());
    if (layout.zip64EndRecords) {
        const uint64_t recordOffset = base + archive.size();
        Put32(archive, 0x06064B50);
        Put64(archive, 44);
        Put16(archive, 45);
        Put16(archive, 45);
        Put32(archive, 0);
        Put32(archive, 0);
        Put64(archive, entries.size());
        Put64(archive, entries.size());
        Put64(archive, central.size());
        Put64(archive, centralOffset);
        Put32(archive, 0x07064B50);
        Put32(archive, 0);
        Put64(archive, recordOffset);
        Put32(archive, 1);
    }
    Put32(archive, 0x06054B50);
    const uint16_t disk = layout.zip64EndRecords && layout.zip64DiskNumbers ? 0xFFFF : 0;
    Put16(archive, disk);
    Put16(archive, disk);
    Put16(archive, layout.zip64EndRecords ? 0xFFFF : count);
    Put16(archive, layout.totalEntries.value_or(layout.zip64EndRecords ? 0xFFFF : count));
    Put32(archive, layout.zip64EndRecords ? 0xFFFFFFFF : static_cast<uint32_t>(central.size()));
    Put32(archive, layout.zip64EndRecords ? 0xFFFFFFFF : centralOffset);
    Put16(archive, layout.commentLength.value_or(static_cast<uint16_t>(layout.comment.size())));
    return layout.stub + archive + layout.comment + layout.trailing;
}

} // namespace test
