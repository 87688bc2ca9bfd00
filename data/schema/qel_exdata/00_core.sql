-- The one supplier company of the installation.
CREATE TABLE IF NOT EXISTS COMPANY (
  ID TEXT PRIMARY KEY,
  SERIALID TEXT,
  COMTEMP TEXT,
  -- Time of the data package the installation holds.
  PACKTIME INTEGER,
  -- Home picture and company video with its thumbnail, for desktop, phone
  -- and pad; logo, messenger account, hotline and QR-code picture.
  COMPANYHOMEPIC TEXT,
  VIDEOURL TEXT,
  VIDEOTHUMBNAIL TEXT,
  COMPANYHOMEPHONEPIC TEXT,
  VIDEOURLPHONE TEXT,
  VIDEOTHUMBNAILPHONE TEXT,
  COMPANYHOMEPADPIC TEXT,
  VIDEOURLPAD TEXT,
  VIDEOTHUMBNAILPAD TEXT,
  COMPANYLOGOPIC TEXT,
  QQ TEXT,
  HOTLINE TEXT,
  QRCODE_IMAGE_RES TEXT
);
