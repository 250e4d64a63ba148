#include "tools/tomelet/OptionsJson.h"

#include <algorithm>
#include <limits>
#include <string>

#include "platform/text/Codepage.h"

namespace tomelet::cli {
namespace {

const TOptionField* FindField(std::string_view name) {
  const auto* found = std::find_if(kProjectOptionFields.begin(), kProjectOptionFields.end(),
                                   [&](const TOptionField& field) { return field.Name == name; });
  return found == kProjectOptionFields.end() ? nullptr : found;
}

[[noreturn]] void Fail(const std::string& key, std::string_view problem) {
  throw EOptionsError("Option \"" + key + "\" " + std::string(problem));
}

void SetText(TProjectOptions& options, const std::string& key, std::size_t offset,
             const nlohmann::json& value) {
  if (!value.is_string()) {
    Fail(key, "must be a string");
  }
  const auto& text = value.get_ref<const std::string&>();
  if (text.size() > TProjectOptions::kShortStringMax) {
    Fail(key, "is longer than 255 bytes");
  }
  options.SetShortStringAt(offset, text);
}

void SetInteger(TProjectOptions& options, const std::string& key, std::size_t offset,
                const nlohmann::json& value) {
  if (!value.is_number_integer()) {
    Fail(key, "must be an integer");
  }
  const bool fits = value.is_number_unsigned()
                        ? value.get<std::uint64_t>() <=
                              static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())
                        : value.get<std::int64_t>() >= std::numeric_limits<std::int32_t>::min() &&
                              value.get<std::int64_t>() <= std::numeric_limits<std::int32_t>::max();
  if (!fits) {
    Fail(key, "is outside the 32-bit range");
  }
  options.SetIntegerAt(offset, value.get<std::int32_t>());
}

void SetBoolean(TProjectOptions& options, const std::string& key, std::size_t offset,
                const nlohmann::json& value) {
  if (!value.is_boolean()) {
    Fail(key, "must be true or false");
  }
  options.SetBooleanAt(offset, value.get<bool>());
}

}  // namespace

nlohmann::ordered_json OptionsToJson(const TProjectOptions& options) {
  nlohmann::ordered_json json = nlohmann::ordered_json::object();
  for (const auto& field : kProjectOptionFields) {
    const std::string key(field.Name);
    switch (field.Kind) {
      case TOptionKind::ShortString:
        json[key] = DisplayText(options.ShortStringAt(field.Offset));
        break;
      case TOptionKind::Integer:
        json[key] = options.IntegerAt(field.Offset);
        break;
      case TOptionKind::Boolean:
        json[key] = options.BooleanAt(field.Offset);
        break;
    }
  }
  return json;
}

TProjectOptions OptionsFromJson(const nlohmann::json& json) {
  if (!json.is_object()) {
    throw EOptionsError("Options must be a JSON object");
  }
  TProjectOptions options;
  for (const auto& [key, value] : json.items()) {
    const auto* field = FindField(key);
    if (field == nullptr) {
      Fail(key, "is unknown");
    }
    switch (field->Kind) {
      case TOptionKind::ShortString:
        SetText(options, key, field->Offset, value);
        break;
      case TOptionKind::Integer:
        SetInteger(options, key, field->Offset, value);
        break;
      case TOptionKind::Boolean:
        SetBoolean(options, key, field->Offset, value);
        break;
    }
  }
  return options;
}

}  // namespace tomelet::cli
