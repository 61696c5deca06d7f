// Tagged values: kinds, numeric reading, text forms and byte images.
#include "platform/runtime/Variant.h"

#include <QtEndian>
#include <cmath>
#include <cstring>

Variant::Variant(std::int32_t kind, std::int64_t whole, double real, QByteArray bytes)
    : kind_(kind), whole_(whole), real_(real), bytes_(std::move(bytes)) {}

Variant::Variant(int value) : Variant(vbLong, value, 0.0, {}) {}
Variant::Variant(float value) : Variant(vbSingle, 0, static_cast<double>(value), {}) {}
Variant::Variant(double value) : Variant(vbDouble, 0, value, {}) {}
Variant::Variant(bool value) : Variant(vbBoolean, value ? -1 : 0, 0.0, {}) {}
Variant::Variant(const char* text) : Variant(vbString, 0, 0.0, QByteArray(text)) {}
Variant::Variant(const QByteArray& text) : Variant(vbString, 0, 0.0, text) {}

Variant Variant::Integer(std::int16_t value) {
    return {vbInteger, value, 0.0, {}};
}
Variant Variant::Long(std::int32_t value) {
    return {vbLong, value, 0.0, {}};
}
Variant Variant::Byte(std::uint8_t value) {
    return {vbByte, value, 0.0, {}};
}
Variant Variant::Currency(std::int64_t scaledBy10000) {
    return {vbCurrency, scaledBy10000, 0.0, {}};
}
Variant Variant::Date(double daysSince1899) {
    return {vbDate, 0, daysSince1899, {}};
}
Variant Variant::ByteArray(const QByteArray& bytes) {
    return {vbByteArray, 0, 0.0, bytes};
}
Variant Variant::Decimal(double value) {
    return {vbDecimal, 0, value, {}};
}
Variant Variant::Null() {
    return {vbNull, 0, 0.0, {}};
}
Variant Variant::Nothing() {
    return {vbObject, 0, 0.0, {}};
}
Variant Variant::Error(std::int32_t scode) {
    return {vbError, scode, 0.0, {}};
}
Variant Variant::Missing() {
    return Error(DISP_E_PARAMNOTFOUND);
}

Variant Variant::EmptyOf(std::int32_t kind) {
    return {kind == vbString ? vbString : vbByteArray, 0, 0.0, {}};
}

namespace {

// Reads text the way the runtime's numeric test does: blanks around, an
// optional sign, digits with at most one decimal point and an optional
// exponent; or &H / &O followed by hexadecimal / octal digits.
std::optional<double> ParseNumber(const QByteArray& raw) {
    const QByteArray text = raw.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    if (text.size() > 2 && text[0] == '&') {
        const char radixMark = static_cast<char>(text[1] | 0x20);
        const int radix = radixMark == 'h' ? 16 : radixMark == 'o' ? 8 : 0;
        if (radix == 0)
            return std::nullopt;
        bool ok = false;
        const qulonglong value = text.mid(2).toULongLong(&ok, radix);
        if (!ok)
            return std::nullopt;
        return static_cast<double>(value);
    }
    qsizetype i = 0;
    if (text[i] == '+' || text[i] == '-')
        ++i;
    qsizetype digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9')
            ++digits;
        else if (c == '.' && !point)
            point = true;
        else
            break;
    }
    if (digits == 0)
        return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E' || text[i] == 'd' || text[i] == 'D')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        qsizetype expDigits = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
            ++expDigits;
        if (expDigits == 0)
            return std::nullopt;
    }
    if (i != text.size())
        return std::nullopt;
    QByteArray normal = text;
    normal.replace('d', 'e').replace('D', 'e');
    bool ok = false;
    const double value = normal.toDouble(&ok);
    if (!ok && !std::isinf(value))
        return std::nullopt;
    return value;
}

template <typename T> QByteArray LittleEndian(T value) {
    QByteArray bytes(static_cast<qsizetype>(sizeof(T)), Qt::Uninitialized);
    qToLittleEndian(value, bytes.data());
    return bytes;
}

template <typename T> T FromLittleEndian(const QByteArray& bytes) {
    return qFromLittleEndian<T>(bytes.constData());
}

} // namespace

std::optional<double> Variant::NumericValue() const {
    switch (kind_) {
    case vbEmpty:
        return 0.0;
    case vbInteger:
    case vbLong:
    case vbByte:
    case vbBoolean:
        return static_cast<double>(whole_);
    case vbCurrency:
        return static_cast<double>(whole_) / 10000.0;
    case vbSingle:
    case vbDouble:
    case vbDecimal:
        return real_;
    case vbString:
        return ParseNumber(bytes_);
    default:
        return std::nullopt;
    }
}

bool Variant::IsNumeric() const {
    return NumericValue().has_value();
}

double Variant::RoundHalfEven(double value) {
    return std::nearbyint(value); // the default rounding mode rounds halves to even
}

QByteArray Variant::ToText() const {
    switch (kind_) {
    case vbString:
        return bytes_;
    case vbBoolean:
        return whole_ != 0 ? QByteArray("True") : QByteArray("False");
    case vbInteger:
    case vbLong:
    case vbByte:
        return QByteArray::number(whole_);
    case vbCurrency:
        return QByteArray::number(static_cast<double>(whole_) / 10000.0, 'g', 19);
    case vbSingle:
        return QByteArray::number(real_, 'g', 7);
    case vbDouble:
    case vbDate:
    case vbDecimal:
        return QByteArray::number(real_, 'g', 15);
    default:
        return {};
    }
}

std::optional<QByteArray> Variant::ByteImage() const {
    switch (kind_) {
    case vbInteger:
    case vbBoolean:
        return LittleEndian(static_cast<std::int16_t>(whole_));
    case vbLong:
        return LittleEndian(static_cast<std::int32_t>(whole_));
    case vbSingle:
        return LittleEndian(static_cast<float>(real_));
    case vbDouble:
    case vbDate:
        return LittleEndian(real_);
    case vbCurrency:
        return LittleEndian(whole_);
    case vbByte:
        return QByteArray(1, static_cast<char>(whole_));
    case vbString:
    case vbByteArray:
        return bytes_;
    default:
        return std::nullopt;
    }
}

int Variant::FixedSize(std::int32_t kind) {
    switch (kind) {
    case vbByte:
        return 1;
    case vbInteger:
    case vbBoolean:
        return 2;
    case vbLong:
    case vbSingle:
        return 4;
    case vbDouble:
    case vbCurrency:
    case vbDate:
        return 8;
    default:
        return 0;
    }
}

Variant Variant::FromBytes(std::int32_t kind, const QByteArray& bytes) {
    if (bytes.size() < FixedSize(kind) || FixedSize(kind) == 0)
        return {};
    switch (kind) {
    case vbByte:
        return Byte(static_cast<std::uint8_t>(bytes[0]));
    case vbInteger:
        return Integer(FromLittleEndian<std::int16_t>(bytes));
    case vbBoolean:
        return Variant(FromLittleEndian<std::int16_t>(bytes) != 0);
    case vbLong:
        return Long(FromLittleEndian<std::int32_t>(bytes));
    case vbSingle:
        return Variant(FromLittleEndian<float>(bytes));
    case vbDouble:
        return Variant(FromLittleEndian<double>(bytes));
    case vbDate:
        return Date(FromLittleEndian<double>(bytes));
    default: // vbCurrency
        return Currency(FromLittleEndian<std::int64_t>(bytes));
    }
}

bool operator==(const Variant& a, const Variant& b) {
    return a.kind_ == b.kind_ && a.whole_ == b.whole_ &&
           std::memcmp(&a.real_, &b.real_, sizeof a.real_) == 0 && a.bytes_ == b.bytes_;
}
