#include "support/db_builder.h"

#include <string>

namespace qv::testing {

Bytes PopupListBytes(const std::vector<std::string>& choices) {
  Bytes bytes;
  for (const std::string& choice : choices) {
    bytes.insert(bytes.end(), choice.begin(), choice.end());
    bytes.push_back(0);
  }
  bytes.insert(bytes.end(), 3, 0);
  return bytes;
}

TestDatabase::TestDatabase(std::string_view name) : header(SetNewDatabaseHeader(name)) {
  SetDefaultMasterRecord(master);
  popupLists.fill(PopupListBytes({}));
}

TestDatabase& TestDatabase::AddField(int slot, uint32_t type, std::string_view name) {
  FieldDefinition& field = master.fields.at(static_cast<size_t>(slot));
  field.type = type;
  SetFixedText(field.name, name);
  return *this;
}

TestDatabase& TestDatabase::SetPopup(int slot, const std::vector<std::string>& choices) {
  popupLists.at(static_cast<size_t>(slot)) = PopupListBytes(choices);
  return *this;
}

TestDatabase& TestDatabase::AddRow(Bytes row) {
  rows.push_back(std::move(row));
  return *this;
}

Bytes TestDatabase::Build() const {
  std::vector<Bytes> records;
  records.reserve(1 + popupLists.size() + rows.size());
  Bytes master0;
  ByteWriter out(master0);
  WriteMasterRecord(master, out);
  records.push_back(std::move(master0));
  records.insert(records.end(), popupLists.begin(), popupLists.end());
  records.insert(records.end(), rows.begin(), rows.end());
  Result<Bytes> file = AssembleDatabase(header, records);
  return file ? std::move(*file) : Bytes{};
}

void RowBuilder::EnsurePrefix() {
  if (!started_) Prefix(false);
}

RowBuilder& RowBuilder::Prefix(bool withPrefix) {
  started_ = true;
  bytes_.push_back(withPrefix ? 1 : 0);
  if (withPrefix) {
    const std::string_view mark = "FromCSV";
    bytes_.insert(bytes_.end(), mark.begin(), mark.end());
    bytes_.insert(bytes_.end(), 20 - mark.size(), 0);
  }
  return *this;
}

RowBuilder& RowBuilder::Raw(ByteView data) {
  EnsurePrefix();
  ByteWriter out(bytes_);
  out.WriteU16LE(static_cast<uint32_t>(data.size()));
  out.WriteBytes(data);
  return *this;
}

RowBuilder& RowBuilder::Text(std::string_view text) {
  if (text.empty()) return Empty();
  Bytes data(text.begin(), text.end());
  data.push_back(0);
  return Raw(data);
}

RowBuilder& RowBuilder::Int(int32_t value) {
  Bytes data;
  ByteWriter(data).WriteU32LE(static_cast<uint32_t>(value));
  return Raw(data);
}

RowBuilder& RowBuilder::Byte(uint8_t value) {
  const uint8_t data[1] = {value};
  return Raw(data);
}

RowBuilder& RowBuilder::Date(uint32_t dayCount) {
  Bytes data;
  ByteWriter(data).WriteU32LE(dayCount);
  return Raw(data);
}

RowBuilder& RowBuilder::Time(uint8_t hour, uint8_t minute, uint8_t second) {
  const uint8_t data[4] = {second, minute, hour, 0};
  return Raw(data);
}

RowBuilder& RowBuilder::Empty() { return Raw({}); }

RowBuilder& RowBuilder::EndMark() {
  EnsurePrefix();
  bytes_.push_back(0xFF);
  bytes_.push_back(0xFF);
  return *this;
}

RowBuilder& RowBuilder::Append(ByteView bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

}  // namespace qv::testing
