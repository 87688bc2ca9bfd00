-- Local state of the catalogue: the visitor's seen marks of products and
-- the favourite products.

-- LASTTIME is the product's own LASTTIME plus one when it was marked as
-- seen; a product is new unless this time is later than the product's.
CREATE TABLE IF NOT EXISTS PRODUCT_EXTEND (
  PROD_ID TEXT PRIMARY KEY,
  LASTTIME INTEGER
);

CREATE TABLE IF NOT EXISTS FAVORITES (
  FAVORITE_ID INTEGER PRIMARY KEY,
  PRODUCT_ID TEXT,
  ADDTIME TEXT
);

CREATE INDEX IF NOT EXISTS FAVORITES_PRODUCT ON FAVORITES (PRODUCT_ID);
