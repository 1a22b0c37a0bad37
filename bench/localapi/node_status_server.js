// The reference: Node's own http module answering the same status object on GET /v1/status.
const http = require('http');
const port = Number(process.argv[2] || 0);
const body = JSON.stringify({
  ok: true, api: 'vedevave-local', version: 3, connected: true, device: 'Simulated iPhone',
  codec: 'H.264', state: 'Connected', engineAlive: true, displayFps: 60.0, captureFps: 30.0, apiPort: 8090,
});
const server = http.createServer((request, response) => {
  const found = request.method === 'GET' && request.url === '/v1/status';
  const text = found ? body : JSON.stringify({ ok: false, error: 'not found', path: request.url });
  response.writeHead(found ? 200 : 404, {
    'Content-Type': 'application/json',
    'Content-Length': Buffer.byteLength(text),
    'Access-Control-Allow-Origin': 'http://127.0.0.1:' + server.address().port,
    'Access-Control-Allow-Methods': 'GET, POST, OPTIONS',
    'Access-Control-Allow-Headers': 'Content-Type, Authorization',
    'Connection': 'keep-alive',
  });
  response.end(text);
});
server.keepAliveTimeout = 120000;
server.listen(port, '127.0.0.1', () => console.log('listening ' + server.address().port));
process.on('SIGTERM', () => process.exit(0));
