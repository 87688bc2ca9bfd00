-- The product catalogue: the category tree, products and their models,
-- the assignment of products to categories, brands and display modes.
--
-- A category id encodes its path: a top-level id has 7 characters and
-- every level below adds 3, so the categories below one are those whose id
-- starts with its id. A product id has 11 characters; longer PRODUCT ids
-- are the models of the product whose id they start with.
-- LASTTIME is set by the data update whenever an item changes; the seen
-- marks in PRODUCT_EXTEND (qel_data.db) are compared with it as integers.

CREATE TABLE IF NOT EXISTS PRODUCT_CATEGORY (
  PRO_CATEGORY_ID TEXT PRIMARY KEY,
  CANEXTEND INTEGER,
  LEVEL INTEGER,
  BEUSE INTEGER,
  SORT INTEGER
);

CREATE TABLE IF NOT EXISTS PRODUCT_CATEGORY_LANG (
  PRO_CATEGORY_ID TEXT NOT NULL,
  LANGID INTEGER NOT NULL,
  NAME TEXT,
  "DESC" TEXT,
  ALIAS1 TEXT,
  ALIAS2 TEXT,
  TIPS TEXT,
  PRIMARY KEY (PRO_CATEGORY_ID, LANGID)
);

CREATE TABLE IF NOT EXISTS PRODUCT (
  PRODUCT_ID TEXT PRIMARY KEY,
  PICFIRST TEXT,
  PRICE TEXT,
  PRICETYPE INTEGER,
  DESCPTYPE INTEGER,
  BRAND_ID TEXT,
  SORT INTEGER,
  SSORT INTEGER,
  TEMPLATESORT INTEGER,
  STATUS INTEGER,
  LASTTIME INTEGER
);

-- Product lists come in descending TEMPLATESORT, ties by ascending id.
CREATE INDEX IF NOT EXISTS PRODUCT_TEMPLATESORT ON PRODUCT (TEMPLATESORT DESC, PRODUCT_ID);
CREATE INDEX IF NOT EXISTS PRODUCT_BRAND ON PRODUCT (BRAND_ID);
-- Models are looked up with PRODUCT_ID LIKE '<product id>%', which only a
-- NOCASE index serves.
CREATE INDEX IF NOT EXISTS PRODUCT_ID_NOCASE ON PRODUCT (PRODUCT_ID COLLATE NOCASE);

CREATE TABLE IF NOT EXISTS PRODUCT_LANG (
  PRODUCT_ID TEXT NOT NULL,
  LANGID INTEGER NOT NULL,
  NAME TEXT,
  UNIT TEXT,
  PRICEUNIT TEXT,
  "DESC" TEXT,
  INTRODUCE TEXT,
  PRIMARY KEY (PRODUCT_ID, LANGID)
);

-- A product may sit in several categories.
CREATE TABLE IF NOT EXISTS PRODUCT_CLASS (
  PRODUCT_ID TEXT NOT NULL,
  PRO_CATEGORY_ID TEXT NOT NULL,
  PRIMARY KEY (PRODUCT_ID, PRO_CATEGORY_ID)
);

-- Category counts walk the assignments of a category id prefix.
CREATE INDEX IF NOT EXISTS PRODUCT_CLASS_CATEGORY ON PRODUCT_CLASS (PRO_CATEGORY_ID, PRODUCT_ID);

CREATE TABLE IF NOT EXISTS BRAND (
  BRAND_ID TEXT PRIMARY KEY
);

CREATE TABLE IF NOT EXISTS BRAND_LANG (
  BRAND_ID TEXT NOT NULL,
  LANGID INTEGER NOT NULL,
  BRANDNAME TEXT,
  BRANDDESC TEXT,
  PRIMARY KEY (BRAND_ID, LANGID)
);

-- Display mode of a product page; a product without a row shows mode 0.
CREATE TABLE IF NOT EXISTS PROD_SHOW (
  PRODUCT_ID TEXT PRIMARY KEY,
  SHOW_WAY INTEGER
);
