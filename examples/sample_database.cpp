#include "sample_database.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fields/date_time.h"
#include "pdb/database.h"
#include "pdb/master_record.h"
#include "support/db_builder.h"

namespace qv::examples {
namespace {

using testing::RowBuilder;
using testing::TestDatabase;

// Field slots. The CSV shows them in a different order (see kColumns).
enum Slot : int { kCustomer, kQuantity, kColour, kPaid, kDue, kAt, kNotes };

constexpr uint8_t kNoChoice = 255;
// When the sample was made: 2024-05-01 00:00:00, in seconds since 1904.
constexpr uint32_t kSampleTime = 3797366400;

struct Order {
  std::string_view customer;
  int32_t quantity;
  uint8_t colour;  // index into the colour list, or kNoChoice
  bool paid;
  int month, day, year;  // 0 for no date
  int hour, minute;      // hour -1 for no time
  std::string_view notes;
};

const std::vector<std::string> kColours = {"Red", "Green", "Blue", "Black, matt"};

const Order kOrders[] = {
    {"Ann Baker", 12, 0, true, 3, 14, 2024, 9, 30, "Leave at the side door."},
    {"Bolt & Sons, Ltd.", 250, 2, false, 4, 2, 2024, 14, 5,
     "Ship in two boxes.\n\nCall before delivery."},
    {"Carla \"CJ\" Jones", 1, 1, true, 12, 31, 2023, 0, 0, ""},
    {"Dev Patel", -3, 3, false, 1, 15, 2024, 17, 45, "Return of three units, see \"RMA 1142\"."},
    {"Eastside Cafe", 40, kNoChoice, true, 0, 0, 0, -1, 0, "Standing order:\nevery Monday\n\nno deliveries in August"},
    {"Fern Li", 7, 0, false, 2, 29, 2024, 12, 0, ""},
    {"Greenway School", 120, 1, true, 9, 1, 2024, 8, 15, "Invoice to the office, not the teacher."},
    {"Hugo Martin", 0, 2, false, 6, 30, 2024, 23, 59, "Quote only"},
    {"Iris, Jane and Kim", 5, 3, true, 7, 4, 2024, -1, 0, "Split the bill three ways."},
    {"", 9, 0, false, 10, 10, 2024, 10, 10, "Customer name missing on the form."},
    {"Lakeview Hotel", 75, 2, true, 11, 5, 2024, 6, 0, "Line 1\nLine 2\nLine 3"},
    {"Mo's Garage", 2, kNoChoice, false, 5, 20, 2024, 16, 20, "Ask for \"Mo\", not the front desk."},
};

Bytes OrderRecord(const Order& order) {
  RowBuilder row;
  row.Text(order.customer).Int(order.quantity).Byte(order.colour).Byte(order.paid ? 1 : 0);
  row.Date(order.month == 0 ? 0 : static_cast<uint32_t>(DateToDayCount(order.month, order.day, order.year)));
  if (order.hour < 0) {
    const StoredValue noTime = StoreTime(255, 0, 0);
    row.Raw(noTime);
  } else {
    row.Time(static_cast<uint8_t>(order.hour), static_cast<uint8_t>(order.minute));
  }
  return row.Text(order.notes).EndMark().Build();
}

}  // namespace

Bytes BuildSampleDatabase() {
  TestDatabase db("Orders");
  StampNewDatabase(db.header, kSampleTime);
  db.AddField(kCustomer, kText, "Customer")
      .AddField(kQuantity, kInteger, "Qty")
      .AddField(kColour, kPopup, "Colour")
      .AddField(kPaid, kCheckBox, "Paid")
      .AddField(kDue, kDate, "Due date")
      .AddField(kAt, kTime, "Delivery time")
      .AddField(kNotes, kLongText, "Notes");
  db.master.fields[kNotes].longTextFlag = 1;
  db.SetPopup(kColour, kColours);

  // Columns: Due date, Customer, Colour, Qty, Paid, Delivery time, Notes,
  // then the unused slots.
  const int columns[] = {kDue, kCustomer, kColour, kQuantity, kPaid, kAt, kNotes};
  int position = 0;
  for (int slot : columns) db.master.columnOrder[position++] = static_cast<int8_t>(slot);
  for (int slot = kNotes + 1; slot < kFieldSlots; ++slot) {
    db.master.columnOrder[position++] = static_cast<int8_t>(slot);
  }

  for (const Order& order : kOrders) db.AddRow(OrderRecord(order));
  return db.Build();
}

}  // namespace qv::examples
