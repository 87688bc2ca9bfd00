-- The visitor's consultations and inquiries, and the seen-marks of
-- certificate categories.

-- CONSULT_ID is the local id: negative (-2, -3, ...) while the consultation
-- has not reached the service, positive once it has. PRODUCT_ID is empty or
-- null for a general consultation. USERID is the account logged in when the
-- row was stored ("" for nobody).
CREATE TABLE IF NOT EXISTS PROD_CONSULT (
  CONSULT_ID INTEGER,
  PRODUCT_ID TEXT,
  ADDTIME TEXT,
  CONTENT TEXT,
  TEL1 TEXT,
  TEL2 TEXT,
  TEL3 TEXT,
  MOBILENUM TEXT,
  EMAIL TEXT,
  SENTSTATUS INTEGER,
  ITYPE INTEGER,
  USERID TEXT
);

CREATE INDEX IF NOT EXISTS PROD_CONSULT_ID ON PROD_CONSULT (CONSULT_ID);
CREATE INDEX IF NOT EXISTS PROD_CONSULT_PRODUCT ON PROD_CONSULT (PRODUCT_ID, ADDTIME);

-- INQUIRY_ID follows the scheme of CONSULT_ID. IMG is the attachment's path
-- below the installation folder ("/uploadfile/<name>"), AREAR the area id.
CREATE TABLE IF NOT EXISTS PROD_INQUIRY (
  INQUIRY_ID INTEGER,
  CONTENT TEXT,
  ADDTIME TEXT,
  NUM TEXT,
  CONTACT TEXT,
  TEL1 TEXT,
  TEL2 TEXT,
  TEL3 TEXT,
  MOBILENUM TEXT,
  EMAIL TEXT,
  AREAR TEXT,
  ADDRESS TEXT,
  IMG TEXT,
  PRODUCT_ID TEXT,
  DUEDATE TEXT,
  SENTSTATUS INTEGER,
  ITYPE INTEGER,
  USERID TEXT
);

CREATE INDEX IF NOT EXISTS PROD_INQUIRY_ID ON PROD_INQUIRY (INQUIRY_ID);
CREATE INDEX IF NOT EXISTS PROD_INQUIRY_USER ON PROD_INQUIRY (USERID COLLATE NOCASE, PRODUCT_ID);

-- Seen-marks of certificate categories, kept like the other _EXTEND tables.
CREATE TABLE IF NOT EXISTS COMPANYCERT_EXTEND (
  CERT_CATEGORY_ID TEXT PRIMARY KEY,
  LASTTIME INTEGER
);
