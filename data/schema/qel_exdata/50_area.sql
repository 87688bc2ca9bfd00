-- Areas for the address fields of sign-up and inquiries. AREAID grows by
-- two digits per level below the top area "86"; names per language.
CREATE TABLE IF NOT EXISTS SYS_AREA (
  AR_ID TEXT PRIMARY KEY,
  AREAID TEXT,
  SORT INTEGER
);

CREATE INDEX IF NOT EXISTS SYS_AREA_AREAID ON SYS_AREA (AREAID);

CREATE TABLE IF NOT EXISTS SYS_AREA_LANG (
  AR_ID TEXT NOT NULL,
  LANGID INTEGER NOT NULL,
  NAME TEXT,
  PRIMARY KEY (AR_ID, LANGID)
);
