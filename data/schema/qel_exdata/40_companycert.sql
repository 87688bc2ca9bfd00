-- The supplier company's own certificates, read without a language twin.
-- A certificate is valid when STATUS is null, empty or above 0; FATHER_ID
-- names the parent certificate.
CREATE TABLE COMPANYCERT (
  ID        TEXT PRIMARY KEY,
  FATHER_ID TEXT,
  NAME      TEXT,
  IMG       TEXT,
  STATUS    INTEGER,
  SORT      INTEGER
);
CREATE INDEX COMPANYCERT_FATHER ON COMPANYCERT (FATHER_ID);
