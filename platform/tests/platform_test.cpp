// placeholder, replaced as this file is written
