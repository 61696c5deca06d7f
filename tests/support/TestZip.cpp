#include "support/TestZip.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <zip.h>
#include <zlib.h>

namespace {

constexpr char localSignature[] = "PK\x03\x04";
constexpr char centralSignature[] = "PK\x01\x02";
// libzip writes no Unicode Path field (0x7075) itself: it is written under
// this id and the id patched.
constexpr zip_uint16_t standInField = 0x7074;

struct Layout {
    const char* signature;
    qsizetype flags, method, size, nameLength, name;
};
constexpr Layout local{localSignature, 6, 8, 22, 26, 30};
constexpr Layout central{centralSignature, 8, 10, 24, 28, 46};

quint32 Read(const QByteArray& bytes, qsizetype at, int width) {
    quint32 value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

void Write(QByteArray& bytes, qsizetype at, int width, quint64 value) {
    for (int i = 0; i < width; ++i, value >>= 8)
        bytes[at + i] = char(value & 0xff);
}

} // namespace

TestZip& TestZip::File(const QByteArray& name, const QByteArray& content, mode_t mode) {
    items_.append({name, content, mode, false, {}});
    return *this;
}

TestZip& TestZip::Folder(const QByteArray& name) {
    items_.append({name, {}, 0, true, {}});
    return *this;
}

TestZip& TestZip::Folders(int count) {
    for (int i = 0; i < count; ++i)
        Folder('d' + QByteArray::number(i));
    return *this;
}

TestZip& TestZip::UnicodePath(const QByteArray& unicodeName) {
    Item& item = items_.last();
    const uLong sum =
        ::crc32(0, reinterpret_cast<const Bytef*>(item.name.constData()), uInt(item.name.size()));
    item.unicodePath = QByteArray(5, '\1') + unicodeName;
    Write(item.unicodePath, 1, 4, sum);
    return *this;
}

TestZip& TestZip::Patch(const QByteArray& name, Field field, quint32 value) {
    changes_.append({name, field, value, {}});
    return *this;
}

TestZip& TestZip::Rename(const QByteArray& name, const QByteArray& to) {
    changes_.append({name, Field::Flags, 0, to});
    return *this;
}

QByteArray TestZip::Bytes() const {
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("t.zip")));
    int error = 0;
    zip_t* zip = zip_open(path.constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    EXPECT_NE(zip, nullptr);
    for (const Item& item : items_) {
        zip_int64_t index = 0;
        if (item.folder) {
            index = zip_dir_add(zip, item.name.constData(), ZIP_FL_ENC_RAW);
        } else {
            zip_source_t* source = zip_source_buffer(zip, item.content.constData(),
                                                     zip_uint64_t(item.content.size()), 0);
            index = zip_file_add(zip, item.name.constData(), source, ZIP_FL_ENC_RAW);
            zip_set_file_compression(zip, zip_uint64_t(index), ZIP_CM_DEFLATE, 9);
        }
        EXPECT_GE(index, 0) << item.name.constData();
        if (item.mode != 0)
            zip_file_set_external_attributes(zip, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX,
                                             zip_uint32_t(item.mode) << 16);
        if (!item.unicodePath.isEmpty()) {
            EXPECT_EQ(zip_file_extra_field_set(
                          zip, zip_uint64_t(index), standInField, ZIP_EXTRA_FIELD_NEW,
                          reinterpret_cast<const zip_uint8_t*>(item.unicodePath.constData()),
                          zip_uint16_t(item.unicodePath.size()), ZIP_FL_CENTRAL | ZIP_FL_LOCAL),
                      0);
        }
    }
    EXPECT_EQ(zip_close(zip), 0);
    QFile file(QFile::decodeName(path));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    for (const Item& item : items_) {
        for (qsizetype at = item.unicodePath.isEmpty() ? -1 : bytes.indexOf(item.unicodePath);
             at >= 4; at = bytes.indexOf(item.unicodePath, at + 1))
            Write(bytes, at - 4, 2, 0x7075);
    }
    for (const Change& change : changes_) {
        for (const Layout& layout : {local, central}) {
            for (qsizetype at = bytes.indexOf(layout.signature); at >= 0;
                 at = bytes.indexOf(layout.signature, at + 4)) {
                const auto length = qsizetype(Read(bytes, at + layout.nameLength, 2));
                if (bytes.mid(at + layout.name, length) != change.name)
                    continue;
                if (!change.newName.isEmpty())
                    bytes.replace(at + layout.name, length, change.newName);
                else if (change.field == Field::Size)
                    Write(bytes, at + layout.size, 4, change.value);
                else if (change.field == Field::Flags)
                    Write(bytes, at + layout.flags, 2,
                          Read(bytes, at + layout.flags, 2) | change.value);
                else
                    Write(bytes, at + layout.method, 2, change.value);
            }
        }
    }
    return bytes;
}

QByteArray TestZip::ManyFolders(int count) {
    const auto number = [](quint64 value, int width) {
        QByteArray bytes(width, '\0');
        Write(bytes, 0, width, value);
        return bytes;
    };
    QByteArray local;
    QByteArray central;
    for (int i = 0; i < count; ++i) {
        const QByteArray name = 'd' + QByteArray::number(i) + '/';
        // Stored, no flags, no time, sizes and CRC 0, no extra field.
        const QByteArray common = number(20, 2) + number(0, 2) + number(0, 2) + number(0, 4) +
                                  number(0, 4) + number(0, 4) + number(0, 4) +
                                  number(quint64(name.size()), 2) + number(0, 2);
        central += QByteArray(centralSignature) + number(0x031e, 2) + common + number(0, 2) +
                   number(0, 2) + number(0, 2) + number(040755u << 16, 4) +
                   number(quint64(local.size()), 4) + name;
        local += QByteArray(localSignature) + common + name;
    }
    const auto entries = quint64(count);
    const auto zip64End = quint64(local.size() + central.size());
    return local + central + "PK\x06\x06" + number(44, 8) + number(45, 2) + number(45, 2) +
           number(0, 4) + number(0, 4) + number(entries, 8) + number(entries, 8) +
           number(quint64(central.size()), 8) + number(quint64(local.size()), 8) + "PK\x06\x07" +
           number(0, 4) + number(zip64End, 8) + number(1, 4) + "PK\x05\x06" + number(0, 2) +
           number(0, 2) + number(0xffff, 2) + number(0xffff, 2) +
           number(quint64(central.size()), 4) + number(quint64(local.size()), 4) + number(0, 2);
}

QByteArray IniWithVersion(const QByteArray& version) {
    return QByteArray(99, '#') + version + "\r\n[VANTO]\r\n";
}
