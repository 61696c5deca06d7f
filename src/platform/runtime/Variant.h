// The runtime's tagged value: a value together with its kind, numbered as the
// OLE Automation variant types. The socket object takes and hands out data as
// such values and writes them to the wire by their exact byte images.
//
// Text is byte text (one character per byte). Whole numbers given as `int`
// become Long; Integer and Byte are made with their factories, so that a
// literal never picks a kind by accident.
#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>

enum VbVarType : std::int32_t {
    vbEmpty = 0,
    vbNull = 1,
    vbInteger = 2,
    vbLong = 3,
    vbSingle = 4,
    vbDouble = 5,
    vbCurrency = 6,
    vbDate = 7,
    vbString = 8,
    vbObject = 9,
    vbError = 10,
    vbBoolean = 11,
    vbVariant = 12,
    vbDecimal = 14,
    vbByte = 17,
    vbArray = 8192,
    vbByteArray = vbArray | vbByte, // 8209
};

class Variant {
public:
    // The error value the runtime passes for an optional argument that was left out.
    static constexpr std::int32_t DISP_E_PARAMNOTFOUND = static_cast<std::int32_t>(0x80020004u);

    Variant() = default;                        // Empty
    Variant(int value);                         // Long
    Variant(float value);                       // Single
    Variant(double value);                      // Double
    Variant(bool value);                        // Boolean
    Variant(const char* text);                  // String
    Variant(const QByteArray& text);            // String
    static Variant Integer(std::int16_t value); // Integer
    static Variant Long(std::int32_t value);
    static Variant Byte(std::uint8_t value);
    static Variant Currency(std::int64_t scaledBy10000);
    static Variant Date(double daysSince1899);
    static Variant ByteArray(const QByteArray& bytes);
    static Variant Decimal(double value);
    static Variant Null();
    static Variant Nothing(); // Object kind without an object
    static Variant Error(std::int32_t scode);
    // "Argument not given", for optional arguments of any kind.
    static Variant Missing();

    std::int32_t VarType() const { return kind_; }
    bool IsEmpty() const { return kind_ == vbEmpty; }
    bool IsMissing() const { return kind_ == vbError && whole_ == DISP_E_PARAMNOTFOUND; }

    // A number, or text that reads as one (Empty counts as 0, as the runtime has it).
    bool IsNumeric() const;
    // The numeric value; nullopt when not numeric.
    std::optional<double> NumericValue() const;
    // Whole number nearest to `value`, halves to even.
    static double RoundHalfEven(double value);

    // The value as text: strings unchanged, numbers in their shortest form, True/False.
    QByteArray ToText() const;
    // The bytes a String or Byte array holds (empty for other kinds).
    const QByteArray& Bytes() const { return bytes_; }
    std::int64_t WholeValue() const {
        return whole_;
    }                                          // Integer..Long, Currency (scaled), Byte, Boolean
    double RealValue() const { return real_; } // Single, Double, Date, Decimal

    // The exact bytes the value is sent as; nullopt for kinds that have none.
    std::optional<QByteArray> ByteImage() const;
    // Bytes per value of a fixed-size kind; 0 for every other kind.
    static int FixedSize(std::int32_t kind);
    // The value of a fixed-size kind read from the first FixedSize(kind) bytes (little-endian).
    static Variant FromBytes(std::int32_t kind, const QByteArray& bytes);
    // An empty String or Byte array.
    static Variant EmptyOf(std::int32_t kind);

    friend bool operator==(const Variant& a, const Variant& b);

private:
    Variant(std::int32_t kind, std::int64_t whole, double real, QByteArray bytes);

    std::int32_t kind_ = vbEmpty;
    std::int64_t whole_ = 0;
    double real_ = 0.0;
    QByteArray bytes_;
};
