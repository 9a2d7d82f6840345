// Runs every browser test file in this one process, so that they share one
// browser, one server per mode and one page:
//   node --test run_all.js
'use strict';
const fs = require('node:fs');
const path = require('node:path');

for (const name of fs.readdirSync(__dirname).sort()) {
  if (name.endsWith('.test.js')) require(path.join(__dirname, name));
}
