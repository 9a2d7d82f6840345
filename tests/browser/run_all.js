// Runs every browser test file in this one process, once for each engine of
// HALVANE_ENGINES (default: all of them, one after the other), so that the
// files share one browser per engine, one server per mode and one page:
//   node --test run_all.js
//   HALVANE_ENGINES=firefox node --test run_all.js
'use strict';
const fs = require('node:fs');
const path = require('node:path');
const { describe, after } = require('node:test');

process.env.HALVANE_RUN_ALL = '1';
if (!process.env.HALVANE_ENGINES) process.env.HALVANE_ENGINES = 'chromium,firefox,webkit';
const harness = require('./harness');

const files = fs.readdirSync(__dirname).filter((n) => n.endsWith('.test.js')).sort()
  .map((n) => path.join(__dirname, n));
for (const engine of harness.ENGINE_LIST) {
  describe(engine, () => {
    harness.useEngine(engine);
    for (const file of files) {
      delete require.cache[file];
      require(file);
    }
    after(() => harness.shutdown(engine));
  });
}
