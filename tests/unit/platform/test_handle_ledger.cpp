// The handle ledger's bookkeeping: live counts per kind and the report's lines.
#include "platform/handle_ledger.h"

#include <gtest/gtest.h>

namespace lumora::platform {
namespace {

TEST(HandleLedger, BooksEachKindApartAndReportsLiveCreatedDestroyed) {
  THandleLedger ledger;
  ledger.Created(TLedgerKind::Bitmap);
  ledger.Created(TLedgerKind::Bitmap);
  ledger.Destroyed(TLedgerKind::Bitmap);
  ledger.Created(TLedgerKind::MediaDevice);
  ledger.Destroyed(TLedgerKind::MediaDevice);
  ledger.Destroyed(TLedgerKind::Region);  // a region the system took over
  EXPECT_EQ(ledger.Live(TLedgerKind::Bitmap), 1);
  EXPECT_EQ(ledger.Live(TLedgerKind::MediaDevice), 0);
  EXPECT_EQ(ledger.Live(TLedgerKind::Region), -1);
  EXPECT_EQ(ledger.Report(),
            "dc 0 0 0\nbitmap 1 2 1\nfont 0 0 0\nbrush 0 0 0\nregion -1 0 1\ntimer 0 0 0\nthread 0 0 0\n"
            "media 0 1 1\n");
}

}  // namespace
}  // namespace lumora::platform
