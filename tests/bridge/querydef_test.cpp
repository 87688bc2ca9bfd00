// Query definitions: table/field pairing and the ORDER BY text.
#include <gtest/gtest.h>

#include "database/qelquerydef.h"

namespace qel {
namespace dataspace {
namespace {

TEST(QueryDefTest, Defaults) {
  qelQueryDef def;
  EXPECT_EQ(def.TableCount(), 0);
  EXPECT_EQ(def.GetTable(0), "");
  EXPECT_EQ(def.GetFilter(), "");
  EXPECT_EQ(def.GetOrderBy(), "");
  EXPECT_EQ(def.GetLimit(), -1);
  EXPECT_EQ(def.GetOffset(), -1);
  EXPECT_EQ(def.FieldCount(""), -1);
  EXPECT_EQ(def.FieldCount("P"), -1);
  EXPECT_EQ(def.GetField("P", 0), "");
}

TEST(QueryDefTest, TablesAreUniqueAndFieldsAddTheirTable) {
  qelQueryDef def;
  def.AddTable("P");
  def.AddTable("P");
  def.AddTable("");
  EXPECT_EQ(def.TableCount(), 1);
  EXPECT_EQ(def.FieldCount("P"), 0);

  def.AddField("Q", "Z");  // a new table goes to the end
  def.AddField("P", "X");
  def.AddField("P", "X");  // duplicates stay
  def.AddField("", "W");
  def.AddField("P", "");
  EXPECT_EQ(def.TableCount(), 2);
  EXPECT_EQ(def.GetTable(1), "Q");
  EXPECT_EQ(def.FieldCount("P"), 2);
  EXPECT_EQ(def.GetField("P", 1), "X");
  EXPECT_EQ(def.GetField("P", 2), "");
  EXPECT_EQ(def.GetField("Q", 0), "Z");
}

TEST(QueryDefTest, RemovingATableKeepsTheOthersPaired) {
  qelQueryDef def;
  def.AddField("P", "P1");
  def.AddField("Q", "Q1");
  def.AddField("Q", "Q2");
  def.AddField("R", "R1");
  def.AddField("R", "R2");
  def.AddField("R", "R3");

  def.RemoveTable("Q");
  EXPECT_EQ(def.TableCount(), 2);
  EXPECT_EQ(def.GetTable(1), "R");
  EXPECT_EQ(def.FieldCount("R"), 3);
  EXPECT_EQ(def.GetField("R", 2), "R3");
  EXPECT_EQ(def.FieldCount("Q"), -1);

  def.RemoveTable("");
  def.RemoveTable("NOPE");
  def.RemoveTableAt(7);
  EXPECT_EQ(def.TableCount(), 2);

  def.RemoveTableAt(0);
  EXPECT_EQ(def.GetTable(0), "R");
  EXPECT_EQ(def.FieldCount("R"), 3);
  def.DeleteTable("R");
  EXPECT_EQ(def.TableCount(), 0);
}

TEST(QueryDefTest, RemovingFields) {
  qelQueryDef def;
  def.AddField("P", "A");
  def.AddField("P", "B");
  def.AddField("P", "A");
  def.RemoveField("P", "A");  // the first equal one
  EXPECT_EQ(def.FieldCount("P"), 2);
  EXPECT_EQ(def.GetField("P", 0), "B");
  EXPECT_EQ(def.GetField("P", 1), "A");
  def.RemoveFieldAt("P", 5);
  def.RemoveFieldAt("NOPE", 0);
  def.RemoveField("NOPE", "A");
  EXPECT_EQ(def.FieldCount("P"), 2);
  def.RemoveFieldAt("P", 0);
  EXPECT_EQ(def.GetField("P", 0), "A");
}

TEST(QueryDefTest, ClearKeepsFilterOrderLimitAndOffset) {
  qelQueryDef def;
  def.AddField("P", "A");
  def.SetFilter("A = 1");
  def.AddOrder("A", 1);
  def.SetLimit(5);
  def.SetOffset(10);
  def.Clear();
  EXPECT_EQ(def.TableCount(), 0);
  EXPECT_EQ(def.FieldCount("P"), -1);
  EXPECT_EQ(def.GetFilter(), "A = 1");
  EXPECT_EQ(def.GetOrderBy(), "A DESC");
  EXPECT_EQ(def.GetLimit(), 5);
  EXPECT_EQ(def.GetOffset(), 10);
}

TEST(QueryDefTest, OrderByText) {
  qelQueryDef def;
  def.AddOrder("TEMPLATESORT", 1);
  def.AddOrder("t1.PRODUCT_ID", 0);
  EXPECT_EQ(def.GetOrderBy(), "TEMPLATESORT DESC,t1.PRODUCT_ID ASC");

  // A repeated field is listed again with its first direction.
  def.AddOrder("TEMPLATESORT", 0);
  EXPECT_EQ(def.GetOrderBy(), "TEMPLATESORT DESC,t1.PRODUCT_ID ASC,TEMPLATESORT DESC");

  def.RemoveOrder("TEMPLATESORT");
  EXPECT_EQ(def.GetOrderBy(), "t1.PRODUCT_ID ASC");

  def.SetOrderByText("IGNORED DESC");  // kept, but not the ORDER BY text
  EXPECT_EQ(def.GetOrderBy(), "t1.PRODUCT_ID ASC");

  def.ClearOrder();
  EXPECT_EQ(def.GetOrderBy(), "");
}

}  // namespace
}  // namespace dataspace
}  // namespace qel
