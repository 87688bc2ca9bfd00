-- State of the data update: its position and flags (seven rows, ids 1 to
-- 7), and the differences of the last file-list comparison. The census of
-- updated products is queued in BEHAVIOR.

CREATE TABLE IF NOT EXISTS CONFIGINFO (
  ID INTEGER PRIMARY KEY,
  VALUE TEXT
);

CREATE TABLE IF NOT EXISTS DOWNLOADINFO (
  FILENAME TEXT PRIMARY KEY,
  URL TEXT,
  CODE TEXT,
  OPERATETYPE INTEGER,
  OPERATESTATUS INTEGER
);

