-- Seen-marks of cases, certificate groups and banner categories: the time
-- of the item when the visitor last looked at it, plus one. An item is new
-- until its mark is later than the item's own LASTTIME.

CREATE TABLE CASE_EXTEND (
  CASE_ID TEXT PRIMARY KEY,
  LASTTIME INTEGER
);

CREATE TABLE CERTGROUP_EXTEND (
  CERTGROUP_ID TEXT PRIMARY KEY,
  LASTTIME INTEGER
);

CREATE TABLE BANNER_CATEGORY_EXTEND (
  BANNER_CATEGORY_ID TEXT NOT NULL,
  BANNER_ID TEXT NOT NULL,
  LASTTIME INTEGER,
  PRIMARY KEY (BANNER_CATEGORY_ID, BANNER_ID)
);
