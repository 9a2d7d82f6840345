#!/usr/bin/env node
// Draws the small GIF images that the browser test pages use (folder icons,
// the expand and collapse images, the calendar button, menu icons and the
// one-pixel rule) from the pixel maps below, into pages/.
//   node tools/draw_images.js
'use strict';
const fs = require('node:fs');
const path = require('node:path');

// A GIF of indexed pixels. The image data is written with 8-bit codes and a
// clear code before every 126 pixels, so the code width never grows: simple,
// and valid for every decoder.
function gif(width, height, palette, pixels) {
  const bytes = [];
  const u16 = (v) => bytes.push(v & 0xff, (v >> 8) & 0xff);
  bytes.push(...Buffer.from('GIF89a'));
  u16(width); u16(height);
  bytes.push(0xf6, 0, 0); // global colour table of 128 entries
  for (let i = 0; i < 128; i++) {
    const c = palette[i] || [0, 0, 0];
    bytes.push(c[0], c[1], c[2]);
  }
  // Colour 0 is transparent.
  bytes.push(0x21, 0xf9, 4, 0x01, 0, 0, 0, 0);
  bytes.push(0x2c); u16(0); u16(0); u16(width); u16(height); bytes.push(0);
  bytes.push(7); // minimum code size: 8-bit codes, clear code 128, end 129
  const codes = [];
  for (let i = 0; i < pixels.length; i++) {
    if (i % 126 === 0) codes.push(128);
    codes.push(pixels[i]);
  }
  codes.push(129);
  for (let i = 0; i < codes.length; i += 255) {
    const block = codes.slice(i, i + 255);
    bytes.push(block.length, ...block);
  }
  bytes.push(0, 0x3b);
  return Buffer.from(bytes);
}

// A pixel map: one string per row, one character per pixel, looked up in
// `colours` ('.' is transparent).
function draw(rows, colours) {
  const keys = ['.', ...Object.keys(colours)];
  const palette = [[255, 255, 255], ...Object.values(colours)];
  const pixels = [];
  for (const row of rows) for (const ch of row) pixels.push(Math.max(0, keys.indexOf(ch)));
  return gif(rows[0].length, rows.length, palette, pixels);
}

const folder = { k: [96, 72, 0], y: [240, 200, 64], l: [255, 232, 140] };
const images = {
  'images/icons/FolderClosed.gif': draw([
    '................',
    '................',
    '..kkkkk.........',
    '.kyyyyyk........',
    '.kyyyyyykkkkkkk.',
    '.kllllllllllllk.',
    '.klyyyyyyyyyyyk.',
    '.klyyyyyyyyyyyk.',
    '.klyyyyyyyyyyyk.',
    '.klyyyyyyyyyyyk.',
    '.klyyyyyyyyyyyk.',
    '.klyyyyyyyyyyyk.',
    '.kkkkkkkkkkkkkk.',
    '................',
    '................',
    '................'], folder),
  'images/icons/FolderOpen.gif': draw([
    '................',
    '................',
    '..kkkkk.........',
    '.kyyyyyk........',
    '.kyyyyyykkkkkk..',
    '.kyykkkkkkkkkkkk',
    '.kyklllllllllllk',
    '.kyklllllllllk..',
    '.kkllllllllllk..',
    '.kklllllllllk...',
    '.kllllllllllk...',
    '.klllllllllk....',
    '.kkkkkkkkkkk....',
    '................',
    '................',
    '................'], folder),
  'images/icons/treeplus.gif': draw([
    'ggggggggg',
    'gwwwwwwwg',
    'gwwwkwwwg',
    'gwwwkwwwg',
    'gwkkkkkwg',
    'gwwwkwwwg',
    'gwwwkwwwg',
    'gwwwwwwwg',
    'ggggggggg'], { g: [128, 128, 128], w: [255, 255, 255], k: [0, 0, 0] }),
  'images/icons/treeminus.gif': draw([
    'ggggggggg',
    'gwwwwwwwg',
    'gwwwwwwwg',
    'gwwwwwwwg',
    'gwkkkkkwg',
    'gwwwwwwwg',
    'gwwwwwwwg',
    'gwwwwwwwg',
    'ggggggggg'], { g: [128, 128, 128], w: [255, 255, 255], k: [0, 0, 0] }),
  'Calendar.gif': draw([
    '................',
    '.kkkkkkkkkkkkkk.',
    '.krrrrrrrrrrrrk.',
    '.krrrrrrrrrrrrk.',
    '.kkkkkkkkkkkkkk.',
    '.kwwwwwwwwwwwwk.',
    '.kwkwwkwwkwwkwk.',
    '.kwwwwwwwwwwwwk.',
    '.kwkwwkwwkwwkwk.',
    '.kwwwwwwwwwwwwk.',
    '.kwkwwkwwkwwrwk.',
    '.kwwwwwwwwwwwwk.',
    '.kwkwwkwwkwwkwk.',
    '.kkkkkkkkkkkkkk.',
    '................'], { k: [64, 64, 64], r: [200, 32, 32], w: [255, 255, 255] }),
  'images/menu/open.gif': draw([
    '............',
    '.kkkk.......',
    'kyyyyk......',
    'kyyyyykkkkk.',
    'kykkkkkkkkkk',
    'kyklllllllk.',
    'kkllllllllk.',
    'kklllllllk..',
    'klllllllk...',
    'kkkkkkkkk...',
    '............',
    '............'], folder),
  'images/menu/save.gif': draw([
    'kkkkkkkkkkkk',
    'kbwwwwwwwwbk',
    'kbwwwwwwwwbk',
    'kbwwwwwwwwbk',
    'kbbbbbbbbbbk',
    'kbbbbbbbbbbk',
    'kbbggggggbbk',
    'kbbggkkggbbk',
    'kbbggkkggbbk',
    'kbbggggggbbk',
    'kbbbbbbbbbbk',
    'kkkkkkkkkkkk'], { k: [0, 0, 64], b: [48, 80, 160], w: [255, 255, 255], g: [192, 192, 192] }),
  'images/menu/dot.gif': draw(['g'], { g: [128, 128, 128] }),
};

const out = path.join(__dirname, '..', 'pages');
for (const [name, data] of Object.entries(images)) {
  const file = path.join(out, name);
  fs.mkdirSync(path.dirname(file), { recursive: true });
  fs.writeFileSync(file, data);
  console.log(`${name}: ${data.length} bytes`);
}
