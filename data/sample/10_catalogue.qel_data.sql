-- Sample local state: products the visitor has already seen (a mark later
-- than the product's own time), one marked before its last change (new
-- again), and two favourites.

INSERT INTO PRODUCT_EXTEND (PROD_ID, LASTTIME) VALUES
  ('10000000001', 1700000101),
  ('10000000005', 1700000501),
  ('10000000008', 1700000801),
  ('10000000009', 1700000800);

INSERT INTO FAVORITES (PRODUCT_ID, ADDTIME) VALUES
  ('10000000002', '2024-05-01 10:00:00'),
  ('10000000008', '2024-05-02 18:30:00');
