#include "store/firebird_values.h"

#include <algorithm>
#include <cstring>

#include "support/code_page.h"

namespace quorbin {
namespace {

using Kind = ColumnValue::Kind;

// Days from 1858-11-17, where Firebird counts dates from, to 1899-12-30.
constexpr std::int64_t kFirebirdDateOffset = 15'018;
// Firebird times count units of 1/10,000 s.
constexpr std::int64_t kTimeUnitsPerMs = 10;
// Character sets whose data is Unicode (UNICODE_FSS, UTF8).
constexpr unsigned kUnicodeFss = 3;
constexpr unsigned kUtf8 = 4;
constexpr unsigned kCharsetNone = 0;

bool IsUnicodeCharset(unsigned charset) {
  const unsigned id = charset & 0xFF;
  return id == kUtf8 || id == kUnicodeFss;
}

std::string DecodeText(std::string_view bytes, unsigned charset) {
  if (IsUnicodeCharset(charset)) return std::string(bytes);
  return AnsiToUtf8(bytes);
}

template <typename T>
T ReadAs(const char* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

template <typename T>
void WriteAs(char* at, T value) {
  std::memcpy(at, &value, sizeof value);
}

std::int64_t DateMs(ISC_DATE date) {
  return (static_cast<std::int64_t>(date) - kFirebirdDateOffset) * DateTime::kMsPerDay;
}

// To the nearest millisecond; 24:00:00.000 is the next day.
std::int64_t TimeMs(ISC_TIME time) {
  return (static_cast<std::int64_t>(time) + kTimeUnitsPerMs / 2) / kTimeUnitsPerMs;
}

Kind KindOf(short type, short scale) {
  switch (type) {
    case SQL_TEXT:
      return Kind::kFixedText;
    case SQL_VARYING:
      return Kind::kVariableText;
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
      return scale < 0 ? Kind::kFixedPoint : Kind::kInteger;
    case SQL_BOOLEAN:
      return Kind::kInteger;
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
      return Kind::kFloat;
    case SQL_TYPE_DATE:
      return Kind::kDate;
    case SQL_TYPE_TIME:
      return Kind::kTime;
    case SQL_TIMESTAMP:
      return Kind::kTimestamp;
    case SQL_BLOB:
      return Kind::kVariableText;
    case SQL_NULL:
      return Kind::kNull;
    default:
      return Kind::kUnreadable;
  }
}

}  // namespace

Sqlda::Sqlda(short count) : bytes_(new unsigned char[XSQLDA_LENGTH(std::max<short>(1, count))]()) {
  get()->version = SQLDA_VERSION1;
  get()->sqln = std::max<short>(1, count);
  get()->sqld = count;
}

FirebirdColumn::FirebirdColumn(XSQLVAR& var)
    : type_(static_cast<short>(var.sqltype & ~1)),
      scale_(var.sqlscale),
      length_(var.sqllen),
      null_(std::make_unique<short>(0)) {
  description_.name.assign(var.aliasname, static_cast<std::size_t>(var.aliasname_length));
  description_.table.assign(var.relname, static_cast<std::size_t>(var.relname_length));
  // Text keeps its character set in the subtype, a blob in the scale.
  charset_ = static_cast<unsigned>(type_ == SQL_BLOB ? var.sqlscale : var.sqlsubtype);
  description_.kind = KindOf(type_, scale_);
  description_.unicode = (type_ == SQL_TEXT || type_ == SQL_VARYING || type_ == SQL_BLOB) &&
                         IsUnicodeCharset(charset_);
  const std::size_t size =
      static_cast<std::size_t>(var.sqllen) + (type_ == SQL_VARYING ? sizeof(short) : 0);
  data_.assign(std::max<std::size_t>(size, 8), 0);
  var.sqldata = data_.data();
  var.sqlind = null_.get();
  var.sqltype = static_cast<short>(var.sqltype | 1);
}

ColumnValue FirebirdColumn::Read(const BlobReader& read_blob) const {
  ColumnValue value;
  value.kind = description_.kind;
  value.null = *null_ < 0;
  if (value.kind == Kind::kUnreadable) {
    value.text = "Field '" + description_.name + "' is of type " + std::to_string(type_) +
                 ", which cannot be read";
    return value;
  }
  if (value.null) return value;
  const char* data = data_.data();
  switch (type_) {
    case SQL_TEXT:
      value.text = DecodeText(std::string_view(data, static_cast<std::size_t>(length_)), charset_);
      break;
    case SQL_VARYING:
      value.text = DecodeText(std::string_view(data + sizeof(short), ReadAs<unsigned short>(data)),
                              charset_);
      break;
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64: {
      value.integer = type_ == SQL_SHORT  ? ReadAs<ISC_SHORT>(data)
                      : type_ == SQL_LONG ? ReadAs<ISC_LONG>(data)
                                          : ReadAs<ISC_INT64>(data);
      value.scale = scale_ < 0 ? scale_ : 0;
      for (int i = 0; i < scale_; ++i) value.integer *= 10;
      break;
    }
    case SQL_BOOLEAN:
      value.integer = ReadAs<unsigned char>(data) ? 1 : 0;
      break;
    case SQL_FLOAT:
      value.number = ReadAs<float>(data);
      break;
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
      value.number = ReadAs<double>(data);
      break;
    case SQL_TYPE_DATE:
      value.moment = DateTime{DateMs(ReadAs<ISC_DATE>(data))};
      break;
    case SQL_TYPE_TIME:
      value.moment = DateTime{TimeMs(ReadAs<ISC_TIME>(data))};
      break;
    case SQL_TIMESTAMP: {
      const auto stamp = ReadAs<ISC_TIMESTAMP>(data);
      value.moment = DateTime{DateMs(stamp.timestamp_date) + TimeMs(stamp.timestamp_time)};
      break;
    }
    case SQL_BLOB:
      value.text = DecodeText(read_blob(ReadAs<ISC_QUAD>(data)), charset_);
      break;
    default:
      break;
  }
  return value;
}

FirebirdParameters::FirebirdParameters(const std::vector<ColumnAssignment>& values)
    : sqlda_(static_cast<short>(values.size())), buffers_(values.size()), nulls_(values.size(), 0) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    const ColumnValue& value = values[i].value;
    XSQLVAR& var = sqlda_.var(static_cast<int>(i));
    std::vector<char>& buffer = buffers_[i];
    nulls_[i] = value.IsNull() ? -1 : 0;
    var.sqlind = &nulls_[i];
    auto set = [&](short type, std::size_t length) {
      // The low bit marks a parameter that may be NULL.
      var.sqltype = static_cast<short>(type | 1);
      var.sqllen = static_cast<short>(length);
      buffer.assign(std::max<std::size_t>(length, 8) + sizeof(short), 0);
      var.sqldata = buffer.data();
    };
    switch (value.IsNull() ? Kind::kNull : value.kind) {
      case Kind::kInteger:
      case Kind::kFixedPoint:
        set(SQL_INT64, sizeof(ISC_INT64));
        var.sqlscale = static_cast<short>(value.kind == Kind::kFixedPoint ? value.scale : 0);
        WriteAs<ISC_INT64>(buffer.data(), value.integer);
        break;
      case Kind::kFloat:
        set(SQL_DOUBLE, sizeof(double));
        WriteAs<double>(buffer.data(), value.number);
        break;
      case Kind::kDate:
      case Kind::kTime:
      case Kind::kTimestamp: {
        set(SQL_TIMESTAMP, sizeof(ISC_TIMESTAMP));
        const std::int64_t ms = value.moment.ms;
        const std::int64_t days = ms >= 0
                                      ? ms / DateTime::kMsPerDay
                                      : -((-ms + DateTime::kMsPerDay - 1) / DateTime::kMsPerDay);
        ISC_TIMESTAMP stamp;
        stamp.timestamp_date = static_cast<ISC_DATE>(days + kFirebirdDateOffset);
        stamp.timestamp_time =
            static_cast<ISC_TIME>((ms - days * DateTime::kMsPerDay) * kTimeUnitsPerMs);
        WriteAs(buffer.data(), stamp);
        break;
      }
      default: {
        const bool unicode = values[i].column.unicode;
        const std::string text = value.IsNull()
                                     ? std::string()
                                     : (unicode ? value.AsString() : Utf8ToAnsi(value.AsString()));
        set(SQL_VARYING, std::max<std::size_t>(1, text.size()));
        var.sqlsubtype = static_cast<short>(unicode ? kUtf8 : kCharsetNone);
        WriteAs<unsigned short>(buffer.data(), static_cast<unsigned short>(text.size()));
        std::memcpy(buffer.data() + sizeof(short), text.data(), text.size());
        break;
      }
    }
  }
}

}  // namespace quorbin
